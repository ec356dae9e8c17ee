#include "ElementBot.h"

#include <cmath>
#include <cstring>

namespace TestClient
{
    namespace
    {
        // Bounded little-endian reads over a byte range.
        class CSpan
        {
        public:
            CSpan(const uint8_t* p, size_t n) : m_p(p), m_n(n) {}
            bool Bytes(void* out, size_t n)
            {
                if (n > m_n - m_pos)
                    return false;
                if (n)
                    memcpy(out, m_p + m_pos, n);
                m_pos += n;
                return true;
            }
            bool Skip(size_t n)
            {
                if (n > m_n - m_pos)
                    return false;
                m_pos += n;
                return true;
            }
            template <class T>
            bool Get(T& v)
            {
                return Bytes(&v, sizeof(T));
            }
            bool Vec(CBotVector& v) { return Get(v.x) && Get(v.y) && Get(v.z); }
            bool Compact(uint32_t& v)
            {
                v = 0;
                for (int i = 0; i < 5; ++i) {
                    uint8_t b;
                    if (!Get(b))
                        return false;
                    v |= uint32_t(b & 0x7F) << (7 * i);
                    if (!(b & 0x80))
                        return true;
                }
                return false;
            }
            bool String(std::string& s)
            {
                uint32_t n;
                if (!Compact(n) || n > m_n - m_pos)
                    return false;
                s.assign(reinterpret_cast<const char*>(m_p + m_pos), n);
                m_pos += n;
                return true;
            }
            size_t Remaining() const { return m_n - m_pos; }

        private:
            const uint8_t* m_p;
            size_t m_n;
            size_t m_pos = 0;
        };

        class CWriter
        {
        public:
            template <class T>
            CWriter& Put(T v)
            {
                const uint8_t* p = reinterpret_cast<const uint8_t*>(&v);
                m_Data.insert(m_Data.end(), p, p + sizeof(T));
                return *this;
            }
            CWriter& Vec(const CBotVector& v) { return Put(v.x).Put(v.y).Put(v.z); }
            CWriter& Raw(const void* p, size_t n)
            {
                const uint8_t* b = static_cast<const uint8_t*>(p);
                m_Data.insert(m_Data.end(), b, b + n);
                return *this;
            }
            CWriter& String(const std::string& s)
            {
                uint32_t n = static_cast<uint32_t>(s.size());
                while (n >= 0x80) {
                    Put<uint8_t>(static_cast<uint8_t>(n | 0x80));
                    n >>= 7;
                }
                Put<uint8_t>(static_cast<uint8_t>(n));
                return Raw(s.data(), s.size());
            }
            std::vector<uint8_t> m_Data;
        };

        // Skips one tagged value's payload (script values nest; depth is bounded).
        bool SkipValue(CSpan& r, uint8_t code, int depth)
        {
            if (depth > 32)
                return false;
            uint32_t n;
            switch (code) {
            case 0: case 12: case 13: case 14: case 19: case 20: return true;
            case 1: return r.Skip(1);
            case 2: case 21: return r.Compact(n) && r.Skip(n);
            case 4: case 5: case 6: return r.Skip(4);
            case 8: return r.Skip(8);
            case 9: return r.Skip(12);
            case 11: return r.Skip(64);
            case 15: case 16: return r.Skip(8);
            case 17: {
                uint8_t count, inner;
                if (!r.Get(count))
                    return false;
                for (unsigned i = 0; i < count; ++i)
                    if (!r.Get(inner) || !SkipValue(r, inner, depth + 1))
                        return false;
                return true;
            }
            case 18: {
                uint8_t inner;
                uint32_t keyLength;
                if (!r.Compact(n))
                    return false;
                for (uint32_t i = 0; i < n; ++i)
                    if (!r.Get(inner) || !r.Compact(keyLength) || !r.Skip(keyLength) || !SkipValue(r, inner, depth + 1))
                        return false;
                return true;
            }
            default: return false;
            }
        }

        bool HasPlayerBlock(const CBotElement& e, bool bIV) { return e.Is(TYPE_PLAYER) && !bIV; }

        // ---- Create ----

        bool ReadCreate(CSpan& r, CBotElement& e)
        {
            if (!r.Get(e.iSyncer) || !r.Get(e.iParent) || !r.Get(e.iDimension) || !r.String(e.strName) ||
                !r.Get(e.usDataEntries))
                return false;
            for (uint16_t i = 0; i < e.usDataEntries; ++i) {
                std::string key;
                uint8_t code;
                if (!r.String(key) || !r.Get(code) || !SkipValue(r, code, 0))
                    return false;
            }
            if (e.Is(TYPE_BLIP))
                return r.Vec(e.position) && r.Get(e.ucBlipFlags) && r.Get(e.ucBlipSize) && r.Get(e.uiBlipValue);
            if (e.Is(TYPE_PICKUP))
                return r.Vec(e.position) && r.Get(e.iPickupModel) && r.Get(e.ucPickupType) && r.Get(e.iPickupValue);
            if (e.Is(TYPE_MARKER))
                return r.Vec(e.position) && r.Get(e.fMarkerSize);
            if (!e.Is(TYPE_ENTITY))
                return true; // a dummy, or nothing the client knows: the base part only
            if (!r.Get(e.iModel) || !r.Get(e.ucInterior) || !r.Get(e.ucEntityFlags))
                return false;
            if (e.Is(TYPE_PED))
                return r.Get(e.iPedType);
            if (!e.Is(TYPE_VEHICLE))
                return true;
            if (!r.Get(e.iVehicleFlags) || !r.Get(e.ucLockStatus))
                return false;
            bool bOk = true;
            for (int i = 0; i < 4 && bOk; ++i)
                bOk = (e.iVehicleFlags & 2) ? r.Get(e.rgb[i]) : r.Get(e.palette[i]);
            if (bOk && e.Is(TYPE_TRAIN))
                bOk = r.Get(e.ucTrainFlags) && r.Get(e.ucTrack);
            return bOk;
        }

        void WriteCreate(CWriter& w, const CBotElement& e)
        {
            w.Put(e.iSyncer).Put(e.iParent).Put(e.iDimension).String(e.strName).Put<uint16_t>(0);
            if (e.Is(TYPE_BLIP)) {
                w.Vec(e.position).Put(e.ucBlipFlags).Put(e.ucBlipSize).Put(e.uiBlipValue);
                return;
            }
            if (e.Is(TYPE_PICKUP)) {
                w.Vec(e.position).Put(e.iPickupModel).Put(e.ucPickupType).Put(e.iPickupValue);
                return;
            }
            if (e.Is(TYPE_MARKER)) {
                w.Vec(e.position).Put(e.fMarkerSize);
                return;
            }
            if (!e.Is(TYPE_ENTITY))
                return;
            w.Put(e.iModel).Put(e.ucInterior).Put(e.ucEntityFlags);
            if (e.Is(TYPE_PED))
                w.Put(e.iPedType);
            if (!e.Is(TYPE_VEHICLE))
                return;
            w.Put(e.iVehicleFlags).Put(e.ucLockStatus);
            for (int i = 0; i < 4; ++i) {
                if (e.iVehicleFlags & 2)
                    w.Put(e.rgb[i]);
                else
                    w.Put(e.palette[i]);
            }
            if (e.Is(TYPE_TRAIN))
                w.Put(e.ucTrainFlags).Put(e.ucTrack);
        }

        // ---- Sync ----

        bool ReadDamage(CSpan& r, std::vector<uint8_t>& damage)
        {
            uint8_t first;
            if (!r.Get(first))
                return false;
            damage.assign(1, first);
            if ((first & 3) != 1)
                return true;
            uint8_t rest[4];
            if (!r.Bytes(rest, sizeof(rest)))
                return false;
            damage.insert(damage.end(), rest, rest + 4);
            return true;
        }

        bool ReadVehicleSync(CSpan& r, CBotElement& e, bool bIV)
        {
            if (!r.Bytes(e.matrix, sizeof(e.matrix)) || !r.Vec(e.velocity) || !r.Vec(e.turnVelocity) ||
                !r.Get(e.iSyncFlag) || !r.Get(e.fVehicleHealth) || !r.Get(e.values[0]) || !r.Get(e.values[1]) ||
                !r.Get(e.values[2]))
                return false;
            if (bIV)
                return true;
            if (!r.Get(e.ucVehicleByte) || !r.Get(e.uiVehicleWord) || !ReadDamage(r, e.damage) || !r.Get(e.ucExtraFlags))
                return false;
            return !(e.ucExtraFlags & 1) || (r.Get(e.extra[0]) && r.Get(e.extra[1]));
        }

        void WriteVehicleSync(CWriter& w, const CBotElement& e, bool bIV)
        {
            w.Raw(e.matrix, sizeof(e.matrix)).Vec(e.velocity).Vec(e.turnVelocity);
            w.Put(e.iSyncFlag).Put(e.fVehicleHealth).Put(e.values[0]).Put(e.values[1]).Put(e.values[2]);
            if (bIV)
                return;
            w.Put(e.ucVehicleByte).Put(e.uiVehicleWord);
            if (e.damage.empty())
                w.Put<uint8_t>(0);
            else
                w.Raw(e.damage.data(), e.damage.size());
            w.Put(e.ucExtraFlags);
            if (e.ucExtraFlags & 1)
                w.Put(e.extra[0]).Put(e.extra[1]);
        }

        bool ReadBlob(CSpan& r, std::vector<uint8_t>& blob)
        {
            uint16_t n;
            if (!r.Get(n))
                return false;
            blob.clear();
            if (n < 1 || n > 1024)
                return true;
            blob.resize(n);
            return r.Bytes(blob.data(), n);
        }

        bool ReadPedSync(CSpan& r, CBotElement& e, bool bIV)
        {
            CBotVector pos;
            if (!r.Get(e.iPedState) || !r.Vec(pos) || !r.Vec(e.pedVector) || !r.Vec(e.velocity) ||
                !r.Get(e.fCurrentHeading) || !r.Get(e.fHeading) || !r.Get(e.fHealth) || !r.Get(e.ucVehicleState) ||
                !r.Get(e.iVehicleId) || !r.Get(e.ucSeat) || !r.Get(e.usWeapon))
                return false;
            e.SetHeading(e.fCurrentHeading);
            e.SetPosition(pos);
            if (bIV)
                return ReadBlob(r, e.blob);
            uint8_t present;
            if (!r.Get(e.usAmmunition) || !r.Get(e.usClipAmmunition) || !r.Get(e.ucWeaponState) || !r.Get(e.fArmour) ||
                !r.Get(e.ucPedByte) || !r.Get(present))
                return false;
            e.blob.clear();
            if ((present & 1) && !ReadBlob(r, e.blob))
                return false;
            if (!HasPlayerBlock(e, bIV))
                return true;
            e.playerBlock.resize(57);
            return r.Bytes(e.playerBlock.data(), e.playerBlock.size());
        }

        void WritePedSync(CWriter& w, const CBotElement& e, bool bIV)
        {
            w.Put(e.iPedState).Vec(e.GetPosition()).Vec(e.pedVector).Vec(e.velocity);
            w.Put(e.fCurrentHeading).Put(e.fHeading).Put(e.fHealth).Put(e.ucVehicleState).Put(e.iVehicleId);
            w.Put(e.ucSeat).Put(e.usWeapon);
            bool bBlob = !e.blob.empty() && e.blob.size() <= 1024;
            if (bIV) {
                w.Put<uint16_t>(bBlob ? static_cast<uint16_t>(e.blob.size()) : 0);
                if (bBlob)
                    w.Raw(e.blob.data(), e.blob.size());
                return;
            }
            w.Put(e.usAmmunition).Put(e.usClipAmmunition).Put(e.ucWeaponState).Put(e.fArmour).Put(e.ucPedByte);
            w.Put<uint8_t>(bBlob ? 1 : 0);
            if (bBlob)
                w.Put<uint16_t>(static_cast<uint16_t>(e.blob.size())).Raw(e.blob.data(), e.blob.size());
            if (HasPlayerBlock(e, bIV)) {
                if (e.playerBlock.size() == 57) {
                    w.Raw(e.playerBlock.data(), 57);
                } else {
                    w.Put<uint16_t>(0);
                    for (int i = 0; i < 48; ++i)
                        w.Put<uint8_t>(0);
                    w.Put<uint32_t>(0).Put<uint8_t>(1).Put<uint16_t>(4);
                }
            }
        }

        bool ReadSync(CSpan& r, CBotElement& e, bool bIV)
        {
            if (e.Is(TYPE_PED))
                return ReadPedSync(r, e, bIV);
            if (e.Is(TYPE_TRAIN)) {
                if (!r.Get(e.ucTrainFlags))
                    return false;
                if (e.ucTrainFlags & 2)
                    return ReadVehicleSync(r, e, bIV);
                return r.Get(e.fTrackPosition) && r.Get(e.fSpeed);
            }
            if (e.Is(TYPE_VEHICLE))
                return ReadVehicleSync(r, e, bIV);
            if (e.Is(TYPE_ENTITY)) {
                if (!r.Bytes(e.matrix, sizeof(e.matrix)))
                    return false;
                return !e.Is(TYPE_PHYSICAL) || (r.Vec(e.velocity) && r.Vec(e.turnVelocity));
            }
            if (e.Is(TYPE_BLIP))
                return r.Vec(e.position);
            return true; // pickups, markers and dummies sync nothing
        }

        void WriteSync(CWriter& w, const CBotElement& e, bool bIV)
        {
            if (e.Is(TYPE_PED))
                return WritePedSync(w, e, bIV);
            if (e.Is(TYPE_TRAIN)) {
                w.Put(e.ucTrainFlags);
                if (e.ucTrainFlags & 2)
                    return WriteVehicleSync(w, e, bIV);
                w.Put(e.fTrackPosition).Put(e.fSpeed);
                return;
            }
            if (e.Is(TYPE_VEHICLE))
                return WriteVehicleSync(w, e, bIV);
            if (e.Is(TYPE_ENTITY)) {
                w.Raw(e.matrix, sizeof(e.matrix));
                if (e.Is(TYPE_PHYSICAL))
                    w.Vec(e.velocity).Vec(e.turnVelocity);
                return;
            }
            if (e.Is(TYPE_BLIP))
                w.Vec(e.position);
        }
    }

    CBotVector CBotElement::GetPosition() const
    {
        if (Is(TYPE_ENTITY))
            return {matrix[12], matrix[13], matrix[14]};
        return position;
    }

    void CBotElement::SetPosition(const CBotVector& v)
    {
        if (Is(TYPE_ENTITY)) {
            matrix[12] = v.x, matrix[13] = v.y, matrix[14] = v.z;
            return;
        }
        position = v;
    }

    void CBotElement::SetHeading(float h)
    {
        float c = std::cos(h), s = std::sin(h);
        const float rows[12] = {c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0};
        memcpy(matrix, rows, sizeof(rows));
    }

    std::vector<uint8_t> EncodeCreatePayload(const CBotElement& e)
    {
        CWriter w;
        WriteCreate(w, e);
        return std::move(w.m_Data);
    }

    std::vector<uint8_t> EncodeSyncPayload(const CBotElement& e, bool bIV)
    {
        CWriter w;
        WriteSync(w, e, bIV);
        return std::move(w.m_Data);
    }

    bool DecodeCreateRecord(const uint8_t* pData, size_t length, bool bIV, CBotElement& e)
    {
        CSpan r(pData, length);
        return r.Get(e.iType) && r.Get(e.iId) && ReadCreate(r, e) && ReadSync(r, e, bIV) && r.Remaining() == 0;
    }

    bool DecodeSyncPayload(const uint8_t* pData, size_t length, bool bIV, CBotElement& e)
    {
        CSpan r(pData, length);
        return ReadSync(r, e, bIV) && r.Remaining() == 0;
    }

    std::vector<uint8_t> EncodeLocalRequest(uint32_t uiHandle, const uint8_t tag[8], const CBotElement& e, bool bIV)
    {
        CWriter w;
        w.Put(uiHandle).Raw(tag, 8);
        WriteCreate(w, e);
        WriteSync(w, e, bIV);
        return std::move(w.m_Data);
    }

    // ---- Tracker ----

    void CElementTracker::Attach(CTestClient& client)
    {
        client.SetPacketListener([this](const CReceivedPacket& packet) { OnPacket(packet); });
    }

    const CBotElement* CElementTracker::Find(int32_t iId) const
    {
        auto it = m_Elements.find(iId);
        return it == m_Elements.end() ? nullptr : &it->second;
    }

    void CElementTracker::OnPacket(const CReceivedPacket& packet)
    {
        switch (packet.uiId) {
        case ID_CONNECT_ACCEPTED: {
            // index, HTTP port, HTTP address, sync interval, a byte, sync method
            CSpan r(packet.payload.data(), packet.payload.size());
            uint32_t index;
            uint16_t port;
            std::string url;
            uint8_t spare;
            if (r.Get(index) && r.Get(port) && r.String(url) && r.Get(m_usSyncInterval) && r.Get(spare))
                r.Get(m_ucSyncMethod);
            break;
        }
        case ID_ELEMENT_CREATE: OnCreate(packet); break;
        case ID_ELEMENT_DELETE: OnDelete(packet); break;
        case ID_ELEMENT_SYNC: OnSync(packet); break;
        case ID_ELEMENT_SYNCER: {
            CSpan r(packet.payload.data(), packet.payload.size());
            uint16_t count;
            int32_t id, syncer;
            if (r.Get(count))
                for (uint16_t i = 0; i < count && r.Get(id) && r.Get(syncer); ++i)
                    m_Syncers[id] = syncer;
            break;
        }
        case ID_LOCAL_ELEMENT_RESULT: {
            CSpan r(packet.payload.data(), packet.payload.size());
            CLocalResult result;
            if (r.Get(result.uiType) && r.Get(result.uiHandle) && r.Bytes(result.tag, 8) && r.Get(result.iId))
                m_Results.push_back(result);
            break;
        }
        default: break;
        }
    }

    void CElementTracker::OnCreate(const CReceivedPacket& packet)
    {
        CSpan r(packet.payload.data(), packet.payload.size());
        uint16_t count, size;
        if (!r.Get(count))
            return;
        for (uint16_t i = 0; i < count; ++i) {
            if (!r.Get(size) || size > r.Remaining()) {
                ++m_ullBadRecords;
                return;
            }
            std::vector<uint8_t> record(size);
            r.Bytes(record.data(), size);
            CBotElement e;
            if (!DecodeCreateRecord(record.data(), record.size(), m_bIV, e)) {
                ++m_ullBadRecords;
                continue;
            }
            ++m_ullCreateRecords;
            m_Elements[e.iId] = std::move(e);
        }
    }

    void CElementTracker::OnDelete(const CReceivedPacket& packet)
    {
        CSpan r(packet.payload.data(), packet.payload.size());
        uint16_t count;
        int32_t id;
        if (!r.Get(count))
            return;
        for (uint16_t i = 0; i < count && r.Get(id); ++i) {
            ++m_ullDeleteRecords;
            m_Elements.erase(id);
            if (auto it = m_Watched.find(id); it != m_Watched.end())
                it->second = true;
        }
    }

    void CElementTracker::OnSync(const CReceivedPacket& packet)
    {
        ++m_ullSyncPackets;
        CSpan r(packet.payload.data(), packet.payload.size());
        uint16_t count, size;
        if (!r.Get(count))
            return;
        for (uint16_t i = 0; i < count; ++i) {
            int32_t type, id;
            if (!r.Get(size) || size < 8 || size > r.Remaining() || !r.Get(type) || !r.Get(id)) {
                ++m_ullBadRecords;
                return;
            }
            std::vector<uint8_t> payload(size - 8);
            if (!r.Bytes(payload.data(), payload.size())) {
                ++m_ullBadRecords;
                return;
            }
            auto it = m_Elements.find(id);
            if (it == m_Elements.end())
                continue;
            CBotElement copy = it->second;
            if (copy.iType != type || !DecodeSyncPayload(payload.data(), payload.size(), m_bIV, copy)) {
                ++m_ullBadRecords;
                continue;
            }
            ++m_ullSyncRecords;
            it->second = std::move(copy);
        }
    }

    bool CElementTracker::RequestLocal(CTestClient& client, uint32_t uiHandle, const uint8_t tag[8], const CBotElement& e)
    {
        uint32_t id = e.Is(TYPE_VEHICLE) ? ID_REQUEST_LOCAL_VEHICLE : ID_REQUEST_LOCAL_PED;
        return client.SendPacket(id, EncodeLocalRequest(uiHandle, tag, e, m_bIV));
    }

    bool CElementTracker::SendSync(CTestClient& client, const std::vector<const CBotElement*>& elements)
    {
        CWriter w;
        w.Put<uint16_t>(static_cast<uint16_t>(elements.size()));
        for (const CBotElement* e : elements) {
            std::vector<uint8_t> payload = EncodeSyncPayload(*e, m_bIV);
            w.Put<uint16_t>(static_cast<uint16_t>(8 + payload.size())).Put(e->iType).Put(e->iId);
            w.Raw(payload.data(), payload.size());
        }
        return client.SendPacket(ID_ELEMENT_SYNC, w.m_Data, 1, false);
    }
}
