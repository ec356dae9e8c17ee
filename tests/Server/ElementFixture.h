// The game's element manager with fake clients and a recording sender, for the element class
// tests. The server object only supplies settings (game, distances, colour table).
#pragma once

#include "../Multiplayer/ElementTesting.h"

#include "Elements/Blip.h"
#include "Elements/Building.h"
#include "Elements/Dummy.h"
#include "Elements/Marker.h"
#include "Elements/Object.h"
#include "Elements/Pickup.h"
#include "Elements/Player.h"
#include "Elements/Train.h"
#include "GTAServer.h"
#include "GTAServerManager.h"

#include <Engine/Context.h>

#include <mutex>
#include <string>
#include <vector>

namespace ElementFixture
{
    using namespace Torvane3D;
    using ElementTesting::CBytes;
    using ElementTesting::CPayload;
    using ElementTesting::CRecordingSender;
    using ElementTesting::SentPacket;

    constexpr int32_t GAME_III = 1;
    constexpr int32_t GAME_SA = 3;
    constexpr int32_t GAME_IV = 5;

    class CGameWorld
    {
    public:
        explicit CGameWorld(int32_t iGame = GAME_III, size_t capacity = CNetObjectMgr::DEFAULT_POOL_CAPACITY)
            : m_Manager(&m_Machines, &m_Server, capacity)
        {
            m_Server.m_iGame = iGame;
            m_Manager.SetSender(&m_Sender);
        }
        ~CGameWorld()
        {
            m_Manager.Shutdown();
            m_Machines.ClearAll();
        }

        // A joined, streaming client in the slot.
        CNetMachine* AddClient(int iIndex)
        {
            Strong<CNetMachine> p = MakeStrong<CGameClient>(&m_Manager, &m_Machines);
            p->SetName("client" + std::to_string(iIndex));
            p->SetJoined(true);
            p->SetStreaming(true);
            m_Machines.Set(iIndex, p);
            return p;
        }

        // A new element from the factory, registered unless told otherwise (the pool then
        // keeps it alive; an unregistered one lives in m_Local).
        template <class T>
        T* Add(int32_t iType, const CVector3D& vecPosition = {}, bool bRegister = true)
        {
            Strong<CNetObject> p = Strong<CNetObject>::Adopt(m_Manager.Create(iType));
            EXPECT_TRUE(p) << "type " << iType;
            if (!p)
                return nullptr;
            p->SetPosition(vecPosition);
            if (bRegister)
                EXPECT_TRUE(m_Manager.RegisterNetObject(p));
            else
                m_Local.push_back(p);
            return static_cast<T*>(p.Get());
        }
        // A player element of the client at the position, synced by that client.
        CServerPlayer* AddPlayer(CNetMachine* pClient, const CVector3D& vecPosition)
        {
            CServerPlayer* p = Add<CServerPlayer>(ELEMENT_PLAYER, vecPosition);
            pClient->SetPlayer(p, p->GetId());
            p->SetSyncer(pClient, false);
            return p;
        }

        CGTAServer m_Server;
        CNetMachines m_Machines;
        CGTAServerManager m_Manager;
        CRecordingSender m_Sender;
        std::vector<Strong<CNetObject>> m_Local;
    };

    // Everything an element writes into a stream.
    inline std::vector<uint8_t> Written(const std::function<bool(Stream*)>& write)
    {
        CUnlimitedStream stream;
        EXPECT_TRUE(write(&stream));
        return std::vector<uint8_t>(stream.GetData(), stream.GetData() + stream.GetSize());
    }
    inline std::vector<uint8_t> CreatePayload(CNetObject* p)
    {
        return Written([p](Stream* s) { return p->WriteCreatePacket(s); });
    }
    inline std::vector<uint8_t> SyncPayload(CNetObject* p)
    {
        return Written([p](Stream* s) { return p->WriteSyncPacket(s); });
    }
    // Reads bytes with the element's reader; true when it read everything without failing.
    inline bool ReadAll(const std::vector<uint8_t>& bytes, bool (CNetObject::*read)(Stream*), CNetObject* p)
    {
        CMemoryStream stream(bytes.data(), bytes.size());
        return (p->*read)(&stream) && stream.GetRemaining() == 0;
    }

    // The base part of a create payload for an element with no syncer, parent, name or data.
    inline CBytes& BaseCreate(CBytes& b, int32_t iSyncer = -1, int32_t iParent = -1, int32_t iDimension = 0)
    {
        return b.Put<int32_t>(iSyncer).Put<int32_t>(iParent).Put<int32_t>(iDimension).Put<uint8_t>(0).Put<uint16_t>(0);
    }

    class CLogLines : public ILogListener
    {
    public:
        CLogLines() { AddLogListener(this); }
        ~CLogLines() override { RemoveLogListener(this); }
        void OnLogMessage(eLogType level, const char* szText) override
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Lines.emplace_back(level, szText);
        }
        bool Has(eLogType level, const std::string& text)
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            for (auto& l : m_Lines)
                if (l.first == level && l.second == text)
                    return true;
            return false;
        }
        std::mutex m_Mutex;
        std::vector<std::pair<eLogType, std::string>> m_Lines;
    };
}
