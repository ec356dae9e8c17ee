// Checks the data carried in the program: the built-in archive holds every
// define header and colour table, the headers keep the plain shape the header
// reader expects (enums in their fixed order, one enumerator per line), the
// colour tables keep their format and the rows vehicles rely on, and the SDL
// key tables hold the names and values the game clients send.
#include <Engine/BuiltinArchive.h>
#include <Engine/SDLKeyTables.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using namespace Torvane3D;

namespace {

// A tiny ustar walk of its own, so a fault in the program's TAR reader cannot hide one here.
bool ReadOctal(const char* field, size_t width, uint64_t& value)
{
    value = 0;
    size_t i = 0;
    while (i < width && field[i] == ' ')
        ++i;
    bool any = false;
    for (; i < width && field[i] >= '0' && field[i] <= '7'; ++i) {
        value = value * 8 + static_cast<uint64_t>(field[i] - '0');
        any = true;
    }
    return any && (i == width || field[i] == '\0' || field[i] == ' ');
}

std::map<std::string, std::string> ReadArchive(std::string& error)
{
    std::map<std::string, std::string> members;
    const unsigned char* data = g_BuiltinArchive;
    const size_t size = g_BuiltinArchiveSize;
    if (size % 512 != 0) {
        error = "archive size is not a multiple of 512";
        return members;
    }
    for (size_t pos = 0; pos + 512 <= size;) {
        const char* h = reinterpret_cast<const char*>(data + pos);
        bool zero = true;
        for (size_t i = 0; i < 512 && zero; ++i)
            zero = h[i] == 0;
        if (zero)
            return members;
        uint64_t sum = 0, stored = 0, length = 0;
        for (size_t i = 0; i < 512; ++i)
            sum += (i >= 148 && i < 156) ? ' ' : static_cast<unsigned char>(h[i]);
        if (!ReadOctal(h + 148, 8, stored) || stored != sum || memcmp(h + 257, "ustar", 5) != 0) {
            error = "bad header at offset " + std::to_string(pos);
            return members;
        }
        if (!ReadOctal(h + 124, 12, length) || (h[156] != '0' && h[156] != '\0')) {
            error = "bad size or type at offset " + std::to_string(pos);
            return members;
        }
        pos += 512;
        if (length > size - pos) {
            error = "member runs past the end at offset " + std::to_string(pos);
            return members;
        }
        std::string name(h, strnlen(h, 100));
        std::string prefix(h + 345, strnlen(h + 345, 155));
        if (!prefix.empty())
            name = prefix + "/" + name;
        members[name].assign(reinterpret_cast<const char*>(data + pos), length);
        pos += (length + 511) / 512 * 512;
    }
    error = "no end-of-archive block";
    return members;
}

const std::map<std::string, std::string>& Archive()
{
    static std::string s_strError;
    static const std::map<std::string, std::string> s_Members = ReadArchive(s_strError);
    EXPECT_EQ(s_strError, "");
    return s_Members;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// --- define headers -------------------------------------------------------

struct Enumerator
{
    std::string m_strName;
    int32_t m_iValue;
};

struct ParsedHeader
{
    std::vector<std::string> m_EnumNames;
    std::vector<std::vector<Enumerator>> m_Enums;
    std::string m_strError;
};

// The header reader's keywords: none of them may name an enumerator.
const std::set<std::string> g_Keywords = {"while", "do", "if", "else", "break", "continue", "return", "null",
    "function", "let", "for", "foreach", "in", "typeof", "base", "delete", "try", "catch", "throw", "clone",
    "yield", "resume", "switch", "case", "default", "this", "class", "extends", "constructor", "instanceof",
    "true", "false", "static", "enum", "const", "__LINE__", "__FILE__", "rawcall", "end"};

// Accepts only the plainest form: the pragma, the optional include, comment
// lines, then enums with one "NAME = value," per line (decimal, or hexadecimal
// of at most 8 digits), so the header reads the same with any C parser too.
ParsedHeader ParseHeader(const std::string& text, bool withInclude)
{
    static const std::regex s_EnumLine(R"(enum ([A-Za-z_]\w*)(?: : (uint8_t|uint16_t|uint32_t))?)");
    static const std::regex s_ItemLine(R"(    ([A-Za-z_]\w*) = ((?:0|[1-9][0-9]*)|0x[0-9A-F]{1,8}),)");
    ParsedHeader parsed;
    std::vector<std::string> lines = Lines(text);
    size_t i = 0;
    auto fail = [&](const std::string& what) {
        parsed.m_strError = "line " + std::to_string(i + 1) + ": " + what;
        return parsed;
    };
    if (lines.empty() || lines[0] != "#pragma once")
        return fail("first line is not #pragma once");
    i = 1;
    if (withInclude) {
        if (lines.size() < 2 || lines[1] != "#include <inttypes.h>")
            return fail("no #include <inttypes.h> line");
        i = 2;
    }
    std::set<std::string> names;
    bool inEnum = false;
    for (; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        std::smatch m;
        if (!inEnum) {
            if (line.empty() || line.rfind("// ", 0) == 0 || line == "//")
                continue;
            if (!std::regex_match(line, m, s_EnumLine))
                return fail("expected an enum declaration: " + line);
            parsed.m_EnumNames.push_back(m[1]);
            parsed.m_Enums.emplace_back();
            if (++i >= lines.size() || lines[i] != "{")
                return fail("expected {");
            inEnum = true;
        } else if (line == "};") {
            inEnum = false;
        } else if (std::regex_match(line, m, s_ItemLine)) {
            std::string name = m[1], value = m[2];
            if (g_Keywords.count(name))
                return fail("keyword as enumerator: " + name);
            if (!names.insert(name).second)
                return fail("enumerator defined twice: " + name);
            uint64_t v = std::stoull(value, nullptr, 0);
            if (v > 0xFFFFFFFFull)
                return fail("value out of 32 bits: " + value);
            parsed.m_Enums.back().push_back({name, static_cast<int32_t>(static_cast<uint32_t>(v))});
        } else {
            return fail("not an enumerator line: " + line);
        }
    }
    if (inEnum)
        return fail("enum not closed at the end");
    return parsed;
}

std::vector<std::string> Split(const char* words)
{
    std::vector<std::string> out;
    std::istringstream in(words);
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

struct HeaderCase
{
    const char* m_szMember;
    bool m_bInclude;
    const char* m_szEnums;
};

const HeaderCase g_Headers[] = {
    {"GTAInterface/GTAIIIEnums.h", true,
        "eVehicleAddon eVehicleFlags eEntityStatus ePedType ePedAction eObjective eEntityType eVehicleSubtype "
        "eModelType eFlightMode eHeliType eHeliState eControl eVehicleComponent eVehicleOffsets eAutomobileDoor "
        "eLight eAutomobilePanel eAutomobileDoorStatus eCorona eGameState eLanguage eVehicleType eSCMOpcodeResult "
        "eTrafficLightsState eTrafficLightsLight eModelPed eModelVehicle eWeather ePedComponent ePedPieceTypes "
        "eExplosion eWeapon eIsland eRadioStation eFrontEndTrack eModelState eCopType eVehicleClass eFade "
        "eParticle eCoronaTexture eBlipType eBrightLightType ePathNodeType eBlipDisplayed eDrivingStyle "
        "eThreatType ePedStats ePedWalkStyle eCutscene eGarageIndex eGarageType eRadarSprite eBlipColour "
        "ePickupType eCamMode eStats eCheat"},
    {"GTAInterface/GTAVCEnums.h", true,
        "eVehicleFlags eEntityStatus ePedType ePedAction eVehicleEjectTypes eObjective eEntityType "
        "eVehicleSubtype eModelType eFlightMode eHeliType eControl eVehicleComponent eAutomobileDoor eLight "
        "eAutomobilePanel eAutomobileDoorStatus eCorona eGameState eLanguage eVehicleType eTrafficLightsState "
        "eTrafficLightsLight eModelVehicle eWeather ePedComponent ePedPieceTypes eExplosion eWeapon eIsland "
        "eRadioStation eFrontEndTrack eModelState eCopType eVehicleClass eFade eParticle eCoronaTexture "
        "eObjectType eGarageIndex eGarageType eRadarSprite eStats eCheat"},
    {"GTAInterface/GTASAEnums.h", true,
        "eEntityStatus eVehicleSubtype eModelVehicle eGarageIndex eRadarSprite eStats ePedVoices"},
    {"GTAInterface/GTAIVEnums.h", false,
        "eWeapon eWeaponSlot eModel eIntStatistic eFloatStatistic ePickupType ePedType ePedBodyPart ePedComponent "
        "ePedRace ePedBone ePedClimbState ePedMoveState ePedPropType eCheat eAchievement eVehicleDoor "
        "eVehicleDoorLock eVehicleDrivingStyle eVehicleTyre eVehicleLights eVehicleWindow eVehicleExtra "
        "eBlipDisplay eBlipPriority eBlipSprite eBlipType eWeather eLanguage eHUDType eMapArea eSound "
        "eTrainStation eRadioStation eInteriorRoomKey ePadButton eTextFont eInput eVehicleSubtype"},
};

const char* const g_ColourTables[] = {"vehiclecolours.conf", "vehiclecolours_vc.conf", "vehiclecolours_sa.conf",
    "vehiclecolours_iv.conf", "vehiclecolours_sa_alt.conf"};

std::map<std::string, int32_t> Flatten(const ParsedHeader& header)
{
    std::map<std::string, int32_t> all;
    for (const auto& e : header.m_Enums)
        for (const Enumerator& item : e)
            all[item.m_strName] = item.m_iValue;
    return all;
}

ParsedHeader Header(const char* member, bool withInclude)
{
    auto it = Archive().find(member);
    if (it == Archive().end()) {
        ParsedHeader missing;
        missing.m_strError = "missing";
        return missing;
    }
    return ParseHeader(it->second, withInclude);
}

// The hash GTA IV gives model names (Jenkins one-at-a-time over lower case).
uint32_t ModelHash(const std::string& name)
{
    uint32_t h = 0;
    for (char c : name) {
        h += static_cast<unsigned char>(tolower(static_cast<unsigned char>(c)));
        h += h << 10;
        h ^= h >> 6;
    }
    h += h << 3;
    h ^= h >> 11;
    h += h << 15;
    return h;
}

// --- colour tables --------------------------------------------------------

struct ColourRow
{
    uint32_t m_uiModel;
    std::vector<int> m_Colours;
    bool operator==(const ColourRow& o) const { return m_uiModel == o.m_uiModel && m_Colours == o.m_Colours; }
};

struct ParsedColours
{
    std::string m_strTitle;
    std::vector<ColourRow> m_Rows;
    std::string m_strError;
};

// Every data line is a model and two to four palette colours (0..255); each
// model's lines follow one comment line that names it, and no model has two groups.
ParsedColours ParseColours(const std::string& text)
{
    ParsedColours parsed;
    std::vector<std::string> lines = Lines(text);
    if (lines.empty() || lines[0].rfind("# ", 0) != 0) {
        parsed.m_strError = "no title comment";
        return parsed;
    }
    parsed.m_strTitle = lines[0];
    std::set<uint32_t> seen;
    bool groupOpen = false, groupHasModel = false;
    uint32_t groupModel = 0;
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        auto fail = [&](const std::string& what) {
            parsed.m_strError = "line " + std::to_string(i + 1) + ": " + what;
            return parsed;
        };
        if (line.rfind("# ", 0) == 0 && line.size() > 2) {
            groupOpen = true;
            groupHasModel = false;
            continue;
        }
        static const std::regex s_Row(R"((\d+)((?: \d+){2,4}))");
        std::smatch m;
        if (!std::regex_match(line, m, s_Row))
            return fail("not a colour line: " + line);
        if (!groupOpen)
            return fail("colour line outside a model group");
        ColourRow row{static_cast<uint32_t>(std::stoul(m[1])), {}};
        std::istringstream rest(m[2]);
        for (int c; rest >> c;) {
            if (c > 255)
                return fail("colour out of the palette: " + line);
            row.m_Colours.push_back(c);
        }
        if (groupHasModel && row.m_uiModel != groupModel)
            return fail("two models in one group");
        if (!groupHasModel) {
            if (!seen.insert(row.m_uiModel).second)
                return fail("model in two groups: " + std::to_string(row.m_uiModel));
            groupModel = row.m_uiModel;
            groupHasModel = true;
        }
        parsed.m_Rows.push_back(row);
    }
    return parsed;
}

std::vector<ColourRow> RowsOf(const ParsedColours& table, uint32_t model)
{
    std::vector<ColourRow> rows;
    for (const ColourRow& row : table.m_Rows)
        if (row.m_uiModel == model)
            rows.push_back(row);
    return rows;
}

ParsedColours Colours(const char* member)
{
    auto it = Archive().find(member);
    if (it == Archive().end()) {
        ParsedColours missing;
        missing.m_strError = "missing";
        return missing;
    }
    return ParseColours(it->second);
}

std::vector<ColourRow> Rows(uint32_t model, std::vector<std::vector<int>> colours)
{
    std::vector<ColourRow> rows;
    for (auto& c : colours)
        rows.push_back({model, c});
    return rows;
}

} // namespace

TEST(BuiltinArchive, HoldsEveryDataFileAndNothingElse)
{
    std::set<std::string> expected;
    for (const HeaderCase& h : g_Headers)
        expected.insert(h.m_szMember);
    for (const char* table : g_ColourTables)
        expected.insert(table);
    std::set<std::string> got;
    for (const auto& member : Archive()) {
        got.insert(member.first);
        EXPECT_FALSE(member.second.empty()) << member.first;
    }
    EXPECT_EQ(got, expected);
}

TEST(BuiltinDefineHeaders, ShapeAndEnumOrder)
{
    for (const HeaderCase& h : g_Headers) {
        SCOPED_TRACE(h.m_szMember);
        ParsedHeader parsed = Header(h.m_szMember, h.m_bInclude);
        ASSERT_EQ(parsed.m_strError, "");
        EXPECT_EQ(parsed.m_EnumNames, Split(h.m_szEnums));
        // An IV header with the include line would also fail above: check its absence.
        if (!h.m_bInclude) {
            EXPECT_EQ(Archive().at(h.m_szMember).find("#include"), std::string::npos);
        }
    }
}

TEST(BuiltinDefineHeaders, ReaderRejectsWhatTheParserWould)
{
    struct Case
    {
        const char* m_szText;
        bool m_bOk;
    } cases[] = {
        {"#pragma once\n\n// c\nenum eA\n{\n    A_ONE = 1,\n};\n", true},
        {"#pragma once\nenum eA : uint32_t\n{\n    A = 0xFFFFFFFF,\n};\n", true},
        {"#pragma once\nenum eA\n{\n    A = -1,\n};\n", false},
        {"#pragma once\nenum eA\n{\n    A = 0x123456789,\n};\n", false},
        {"#pragma once\nenum eA\n{\n    default = 1,\n};\n", false},
        {"#pragma once\nenum eA\n{\n    A = 1,\n    A = 2,\n};\n", false},
        {"#pragma once\nenum eA\n{\n    A = 1,\n", false},
        {"#pragma once\ntypedef int X;\n", false},
        {"#pragma once\nenum eA : DWORD\n{\n};\n", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseHeader(c.m_szText, false).m_strError.empty(), c.m_bOk) << c.m_szText;
}

TEST(BuiltinDefineHeaders, KnownValues)
{
    struct Case
    {
        const char* m_szMember;
        bool m_bInclude;
        const char* m_szName;
        int32_t m_iValue;
    } cases[] = {
        {"GTAInterface/GTAIIIEnums.h", true, "VEHICLE_LANDSTALKER", 90},
        {"GTAInterface/GTAIIIEnums.h", true, "VEHICLE_AMBULANCE", 106},
        {"GTAInterface/GTAIIIEnums.h", true, "VEHICLE_BANSHEE", 119},
        {"GTAInterface/GTAIIIEnums.h", true, "VEHICLE_GHOST", 150},
        {"GTAInterface/GTAIIIEnums.h", true, "WEAPON_DETONATOR", 12},
        {"GTAInterface/GTAIIIEnums.h", true, "WEATHER_FOGGY", 3},
        {"GTAInterface/GTAVCEnums.h", true, "VEHICLE_LANDSTALKER", 130},
        {"GTAInterface/GTAVCEnums.h", true, "VEHICLE_VICE_CHEETAH", 236},
        {"GTAInterface/GTAVCEnums.h", true, "WEAPON_MINIGUN", 33},
        {"GTAInterface/GTASAEnums.h", true, "VEHICLE_LANDSTALKER", 400},
        {"GTAInterface/GTASAEnums.h", true, "VEHICLE_SQUALO", 446},
        {"GTAInterface/GTASAEnums.h", true, "VEHICLE_UTILITY_TRAILER", 611},
        {"GTAInterface/GTASAEnums.h", true, "RADAR_SPRITE_SPRAY", 63},
        {"GTAInterface/GTAIVEnums.h", false, "WEAPON_MINIGUN", 20},
        {"GTAInterface/GTAIVEnums.h", false, "MODEL_INFERNUS", 0x18F25AC7},
        {"GTAInterface/GTAIVEnums.h", false, "MODEL_ADMIRAL", 0x4B5C5320},
    };
    for (const Case& c : cases) {
        std::map<std::string, int32_t> all = Flatten(Header(c.m_szMember, c.m_bInclude));
        ASSERT_TRUE(all.count(c.m_szName)) << c.m_szMember << " " << c.m_szName;
        EXPECT_EQ(all[c.m_szName], c.m_iValue) << c.m_szMember << " " << c.m_szName;
    }
}

TEST(BuiltinDefineHeaders, IVModelValuesAreNameHashes)
{
    EXPECT_EQ(ModelHash("adder"), 0xB779A091u); // a known hash checks the function itself
    ParsedHeader iv = Header("GTAInterface/GTAIVEnums.h", false);
    ASSERT_EQ(iv.m_strError, "");
    const std::vector<Enumerator>& models = iv.m_Enums[2];
    ASSERT_FALSE(models.empty());
    bool negative = false;
    for (const Enumerator& e : models) {
        ASSERT_EQ(e.m_strName.rfind("MODEL_", 0), 0u) << e.m_strName;
        EXPECT_EQ(static_cast<uint32_t>(e.m_iValue), ModelHash(e.m_strName.substr(6))) << e.m_strName;
        negative |= e.m_iValue < 0;
    }
    EXPECT_TRUE(negative); // hashes of 0x80000000 and above read as negative constants
    EXPECT_NE(Archive().at("GTAInterface/GTAIVEnums.h").find("enum eModel : uint32_t"), std::string::npos);
}

TEST(BuiltinColourTables, FormatAndGrouping)
{
    const char* titles[] = {"GTA III", "GTA Vice City", "GTA San Andreas", "GTA IV", "GTA San Andreas"};
    for (size_t i = 0; i < std::size(g_ColourTables); ++i) {
        SCOPED_TRACE(g_ColourTables[i]);
        ParsedColours table = Colours(g_ColourTables[i]);
        EXPECT_EQ(table.m_strError, "");
        EXPECT_NE(table.m_strTitle.find(titles[i]), std::string::npos) << table.m_strTitle;
    }
}

TEST(BuiltinColourTables, ExampleRows)
{
    ParsedColours iii = Colours("vehiclecolours.conf");
    EXPECT_EQ(RowsOf(iii, 106), Rows(106, {{1, 3}}));
    EXPECT_EQ(RowsOf(iii, 119),
        Rows(119, {{54, 1}, {14, 1}, {52, 1}, {61, 1}, {43, 1}, {51, 1}, {12, 1}, {11, 1}}));
    for (const ColourRow& row : iii.m_Rows)
        EXPECT_EQ(row.m_Colours.size(), 2u) << row.m_uiModel;

    ParsedColours sa = Colours("vehiclecolours_sa.conf");
    EXPECT_EQ(RowsOf(sa, 446), Rows(446, {{1, 31, 1, 0}, {1, 31, 1, 0}, {1, 20, 3, 0}, {1, 5, 0, 0}, {0, 6, 3, 0}}));
    for (const ColourRow& row : sa.m_Rows)
        EXPECT_TRUE(row.m_Colours.size() == 2 || row.m_Colours.size() == 4) << row.m_uiModel;

    // The extra table repeats the San Andreas rows; only its title differs.
    ParsedColours alt = Colours("vehiclecolours_sa_alt.conf");
    EXPECT_EQ(alt.m_Rows, sa.m_Rows);

    // IV vehicles have no schemes: the file is its comment line alone.
    EXPECT_EQ(Lines(Archive().at("vehiclecolours_iv.conf")).size(), 1u);
}

TEST(SDLKeyTables, NamesAndValues)
{
    ASSERT_EQ(g_uiSDLScancodeCount, 244u); // 243 scancodes of 0..286, then SDL_NUM_SCANCODES
    EXPECT_EQ(g_uiSDLKeycodeCount, 236u);
    EXPECT_EQ(g_uiSDLKeyModifierCount, 17u);

    int32_t last = -1;
    for (size_t i = 0; i + 1 < g_uiSDLScancodeCount; ++i) {
        EXPECT_EQ(strncmp(g_SDLScancodes[i].m_szName, "SDL_SCANCODE_", 13), 0) << g_SDLScancodes[i].m_szName;
        EXPECT_GT(g_SDLScancodes[i].m_iValue, last);
        EXPECT_LE(g_SDLScancodes[i].m_iValue, 286);
        last = g_SDLScancodes[i].m_iValue;
    }
    EXPECT_STREQ(g_SDLScancodes[g_uiSDLScancodeCount - 1].m_szName, "SDL_NUM_SCANCODES");
    EXPECT_EQ(g_SDLScancodes[g_uiSDLScancodeCount - 1].m_iValue, 512);
    for (size_t i = 0; i < g_uiSDLKeycodeCount; ++i)
        EXPECT_EQ(strncmp(g_SDLKeycodes[i].m_szName, "SDLK_", 5), 0) << g_SDLKeycodes[i].m_szName;
    EXPECT_STREQ(g_SDLKeyModifiers[0].m_szName, "KMOD_NONE");
    EXPECT_STREQ(g_SDLKeyModifiers[g_uiSDLKeyModifierCount - 1].m_szName, "KMOD_GUI");

    std::map<std::string, int32_t> all;
    auto add = [&](const SDLKeyConstant* table, size_t count) {
        for (size_t i = 0; i < count; ++i)
            EXPECT_TRUE(all.emplace(table[i].m_szName, table[i].m_iValue).second) << table[i].m_szName;
    };
    add(g_SDLScancodes, g_uiSDLScancodeCount);
    add(g_SDLKeycodes, g_uiSDLKeycodeCount);
    add(g_SDLKeyModifiers, g_uiSDLKeyModifierCount);
    const std::pair<const char*, int32_t> known[] = {{"SDL_SCANCODE_UNKNOWN", 0}, {"SDL_SCANCODE_A", 4},
        {"SDL_SCANCODE_RETURN", 40}, {"SDL_SCANCODE_AUDIOFASTFORWARD", 286}, {"SDLK_UNKNOWN", 0},
        {"SDLK_RETURN", 13}, {"SDLK_a", 97}, {"SDLK_F1", 1073741882}, {"SDLK_SLEEP", 1073742106},
        {"KMOD_SHIFT", 3}, {"KMOD_CTRL", 192}, {"KMOD_ALT", 768}, {"KMOD_GUI", 3072}, {"KMOD_RESERVED", 32768}};
    for (const auto& k : known) {
        ASSERT_TRUE(all.count(k.first)) << k.first;
        EXPECT_EQ(all[k.first], k.second) << k.first;
    }
    EXPECT_FALSE(all.count("KMOD_SCROLL"));
}
