// Trains: vehicles on a track. On the rails the sync is a track position and a speed; once
// derailed a train syncs like any vehicle. Trains exist for every client.
#pragma once

#include "Elements/Vehicle.h"

enum eTrainFlags : uint8_t
{
    TRAIN_FLAG_TRAIN = 1 << 0,
    TRAIN_FLAG_DERAILED = 1 << 1,
    TRAIN_FLAG_HEADLIGHTS = 1 << 2,
    TRAIN_FLAG_TAILLIGHTS = 1 << 3,
};

class CServerTrain : public CServerVehicle
{
public:
    explicit CServerTrain(CGTAServerManager* pManager);

    uint8_t GetTrainFlags() const;
    void SetTrainFlags(uint8_t ucFlags);

    // Create: the vehicle payload, the flags, the track.
    bool ReadCreatePacket(Torvane3D::Stream* pStream) override;
    bool WriteCreatePacket(Torvane3D::Stream* pStream) override;
    // Sync: the flags, then the vehicle payload when derailed, else track position and speed.
    // Only the derailed bit is taken from a client: the rest belongs to scripts.
    bool ReadSyncPacket(Torvane3D::Stream* pStream) override;
    bool WriteSyncPacket(Torvane3D::Stream* pStream) override;

    uint8_t m_ucTrack = 0;
    bool m_bTrainFlag = false;
    bool m_bDerailed = false;
    bool m_bHeadlights = true;
    bool m_bTaillights = true;
    float m_fTrackPosition = 0.0f;
    float m_fSpeed = 0.0f;
};
