// CGTAServer::ParseConfig: the game keys of server.xml, the anticheat list and the game's data.
#include "GTAServer.h"
#include "ServerConfiguration.h"

#include <Engine/Context.h>
#include <Engine/FileSystem.h>
#include <Engine/Stream.h>

#include <openssl/evp.h>

#include <memory>

using namespace Torvane3D;

// Files named by the owner's configuration may lie anywhere, as the owner chose.
static Strong<Stream> OpenServerFile(const char* szPath)
{
    CFileSystem* pFileSystem = g_pContext ? g_pContext->GetFileSystem() : nullptr;
    return pFileSystem ? pFileSystem->Open(szPath, false, PATH_OWNER) : Strong<Stream>();
}

// The MD5 digest of the rest of the stream, read in 1024-byte blocks.
static bool DigestMD5(Stream& stream, uint8_t (&digest)[16])
{
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> pContext(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!pContext || EVP_DigestInit_ex(pContext.get(), EVP_md5(), nullptr) != 1)
        return false;
    unsigned char block[1024];
    size_t count;
    while ((count = stream.Read(block, sizeof(block))) > 0) {
        if (EVP_DigestUpdate(pContext.get(), block, count) != 1)
            return false;
    }
    unsigned int length = 0;
    return EVP_DigestFinal_ex(pContext.get(), digest, &length) == 1 && length == sizeof(digest);
}

CGTAServer::tGameFiles CGTAServer::GetGameFiles(int32_t iGame)
{
    switch (iGame) {
    case 1: return {"/GTAInterface/GTAIIIEnums.h", "GTAIIIEnums.h", "/vehiclecolours.conf"};
    case 2: return {"/GTAInterface/GTAVCEnums.h", "GTAVCEnums.h", "/vehiclecolours_vc.conf"};
    case 3: return {"/GTAInterface/GTASAEnums.h", "GTASAEnums.h", "/vehiclecolours_sa.conf"};
    case 5: return {"/GTAInterface/GTAIVEnums.h", "GTAIVEnums.h", "/vehiclecolours_iv.conf"};
    default: return {nullptr, nullptr, nullptr};
    }
}

bool CGTAServer::AddFileToAnticheat(const char* szPath, const char* szSrc)
{
    LogMessage(LOG_INFO, "Adding anticheat file %s. Game path: %s", szSrc, szPath);
    if (!szSrc || !szSrc[0]) {
        LogMessage(LOG_WARN, "An anticheat file path is blank.");
        return false;
    }
    Strong<Stream> pFile = OpenServerFile(szSrc);
    if (!pFile) {
        LogMessage(LOG_WARN, "Failed to read anticheat file %s.", szSrc);
        return false;
    }
    tAnticheatFile file{szPath, szSrc, {}};
    if (!DigestMD5(*pFile, file.m_Digest)) {
        LogMessage(LOG_WARN, "Failed to read anticheat file %s.", szSrc);
        return false;
    }
    m_AnticheatFiles.push_back(file);
    return true;
}

static void ReadAnticheatFiles(CGTAServer& server, const CServerConfiguration& config)
{
    for (const IConfigElement* pEntry : config.GetList("anticheat", "file")) {
        const char* szPath = pEntry->GetAttribute("path");
        const char* szSrc = pEntry->GetAttribute("src");
        if (!szPath)
            LogMessage(LOG_ERROR, "Anticheat file in config without path attribute!");
        else if (!szSrc)
            LogMessage(LOG_ERROR, "Anticheat file %s in config without src attribute!", szPath);
        else
            server.AddFileToAnticheat(szPath, szSrc);
    }
}

static bool LoadVehicleColours(CGTAServer& server)
{
    const char* szPath = CGTAServer::GetGameFiles(server.m_iGame).m_szVehicleColours;
    Strong<Stream> pFile = szPath ? OpenServerFile(szPath) : Strong<Stream>();
    if (!pFile) {
        LogMessage(LOG_ERROR, "Failed to load vehicle colours!");
        return false;
    }
    server.m_VehicleColours.Load(*pFile);
    return true;
}

bool CGTAServer::ParseConfig(const CServerConfiguration& config)
{
    if (!CBaseServer::ParseConfig(config))
        return false;

    m_bSyncLocalEntities = config.GetBoolValue("synclocalentities", false);
    ReadAnticheatFiles(*this, config);

    // The game's define header, named in messages by its bare file name; another game, or a
    // header that cannot be opened, processes nothing.
    tGameFiles files = GetGameFiles(m_iGame);
    if (Strong<Stream> pHeader = files.m_szDefineHeader ? OpenServerFile(files.m_szDefineHeader) : nullptr)
        m_DefineHandlers.Process(pHeader, files.m_szDefineHeaderName);

    m_fPickupStreamInDistance = config.GetRealValue("pickupstreamindistance", 50.0f);
    m_fPickupStreamOutDistance = config.GetRealValue("pickupstreamoutdistance", 100.0f);
    m_bTimeSync = config.GetBoolValue("timesync", true);
    m_bWeatherSync = config.GetBoolValue("weathersync", true);
    m_bIVNativeMultiplayer = m_iGame == 5 ? config.GetBoolValue("iv_nativemultiplayer", true) : false;
    m_iIVGameMode = config.GetInt32Value("iv_gamemode", 8);
    m_iIVEpisode = config.GetInt32Value("iv_episode", -1);

    if (!LoadVehicleColours(*this))
        return false;

    m_fMinuteDuration = config.GetRealValue("minuteduration", m_iGame == 5 ? 2.0f : 1.0f);
    // Seam: the world takes the minute duration here.
    return true;
}
