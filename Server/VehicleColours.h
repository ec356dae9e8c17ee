// The colour schemes each vehicle model may wear, loaded at start-up from the game's colour
// table. Vehicles pick one of their model's schemes at random.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace Torvane3D
{
    class Stream;
}

struct CVehicleColourDefinition
{
    bool m_bRGB = false;         // false: the colours are palette indexes
    int32_t m_iColours[4] = {}; // 0..255 for palette indexes
};

class CVehicleColours
{
public:
    // Longest line the loader reads, its terminator included.
    static constexpr size_t LINE_BUFFER_SIZE = 128;

    using tDefinitions = std::vector<CVehicleColourDefinition>;

    // The schemes of the model in file order; an empty list is inserted for a model without any.
    tDefinitions& FindDefinitions(uint32_t uiModel);
    void Clear();
    size_t GetModelCount() const { return m_Models.size(); }
    size_t GetDefinitionCount() const;

    // Appends the definitions of a colour table read from the stream, one per line: the model,
    // then two to four colours, all decimal. Empty lines and lines beginning with '#', CR or
    // LF are comments. A line with fewer than three numbers, or too long for the line buffer,
    // is skipped whole with the warning "vehiclecolours.conf[line] - bad syntax '...'".
    // Returns the number of definitions added.
    size_t Load(Torvane3D::Stream& stream);

private:
    std::unordered_map<uint32_t, tDefinitions> m_Models;
};
