// The packet identifiers of the client protocol, the disconnect reasons and the chat values.
// Direction in the comments: C client to server, S server to client.
#pragma once

#include <cstdint>

namespace Torvane3D
{
    // A client must present exactly this protocol number in its handshake.
    constexpr uint32_t NETWORK_PROTOCOL_VERSION = 29;

    enum ePacketId : unsigned
    {
        PACKET_CONNECT = 1,                  // C  handshake
        PACKET_CONNECT_ACCEPTED = 2,         // S  index, HTTP port and URL, sync interval and method
        PACKET_CLIENT_READY = 3,             // C  empty
        PACKET_ELEMENT_SYNC = 4,             // CS element sync, channel 1
        PACKET_CLIENT_PLAYER = 5,            // S  id of the client's own player element or -1
        PACKET_CHAT = 6,                     // CS chat text
        PACKET_COMMAND = 7,                  // C  command name and argument text
        PACKET_RESOURCE_INFO = 8,            // S  running resources
        PACKET_RESOURCE_STOPPED = 9,         // S  a resource stopped
        PACKET_NETWORK_EVENT = 10,           // CS event name and arguments
        PACKET_ELEMENT_CREATE = 11,          // S
        PACKET_ELEMENT_DELETE = 12,          // CS
        PACKET_ELEMENT_SYNCER = 13,          // S
        PACKET_JOIN_COMPLETE = 14,           // S  empty, last of the client-ready step
        PACKET_ELEMENT_PARENT = 15,          // S
        PACKET_CLIENT_QUIT = 16,             // C  uint32 reason (6 when absent)
        PACKET_GAME_MODE = 17,               // S  game-mode text
        PACKET_ELEMENT_NAME = 18,            // S
        PACKET_CLIENT_LIST = 19,             // S  every occupied slot
        PACKET_CLIENT_JOINED = 20,           // S  one new client
        PACKET_CLIENT_LEFT = 21,             // S  one departed client
        PACKET_ELEMENT_DATA = 22,            // S
        PACKET_ELEMENT_CLEAR_DATA = 23,      // S
        PACKET_CLIENT_DATA = 24,             // S  one key of a client's data
        PACKET_CLIENT_CLEAR_DATA = 25,       // S
        PACKET_CLIENT_PLAYER_CHANGED = 26,   // S
        PACKET_KEY_EVENT = 27,               // C
        PACKET_ELEMENT_DIMENSION = 28,       // S
        PACKET_SERVER_NAME = 29,             // S  server-name text
        PACKET_CVARS = 30,                   // S  console variables
        PACKET_REQUEST_SYNCER = 31,          // C
        PACKET_ELEMENT_STREAMING = 33,       // C
        PACKET_CLIENT_FLAGS = 34,            // S
        PACKET_PED_VEHICLE_STATE = 101,      // S
        PACKET_WORLD_CLOCK = 103,            // S
        PACKET_WORLD_WEATHER = 104,          // S
        PACKET_ENTITY_MODEL = 105,           // S
        PACKET_PED_VEHICLE_EVENT = 106,      // CS
        PACKET_PED_WASTED = 107,             // C
        PACKET_FADE_CAMERA = 108,            // S
        PACKET_WORLD_TIMER = 109,            // S
        PACKET_WORLD_BRIDGE = 110,           // S
        PACKET_REQUEST_LOCAL_VEHICLE = 111,  // C
        PACKET_LOCAL_ELEMENT_RESULT = 112,   // S
        PACKET_REQUEST_LOCAL_PED = 116,      // C
        PACKET_VEHICLE_COLOURS = 117,        // S
        PACKET_VEHICLE_FIX = 118,            // S
        PACKET_VEHICLE_LOCKED = 119,         // S
        PACKET_VEHICLE_ENGINE = 120,         // CS
        PACKET_VEHICLE_SWITCH = 121,         // CS
        PACKET_PED_FALL = 123,               // CS
        PACKET_PED_JUMP = 124,               // CS
        PACKET_PED_CROUCH = 125,             // CS
        PACKET_PED_UNCROUCH = 126,           // CS
        PACKET_PED_RELAY_A = 128,            // CS
        PACKET_PED_GIVE_WEAPON = 129,        // S
        PACKET_WORLD_MINUTE_DURATION = 130,  // S
        PACKET_PICKUP_COLLECTED = 132,       // C
        PACKET_SESSION_DATA = 133,           // CS
        PACKET_SESSION_EPISODE = 134,        // S
        PACKET_SESSION_QUICK_MATCH = 135,    // S
        PACKET_SESSION_HOST = 136,           // S
        PACKET_SESSION_JOIN = 137,           // S
        PACKET_SESSION_SETTINGS = 138,       // C
        PACKET_SESSION_REQUEST = 139,        // C
        PACKET_SESSION_INFO = 140,           // C
        PACKET_SESSION_INFO_QUERY = 141,     // C
        PACKET_SESSION_INFO_REPLY = 142,     // S
        PACKET_SESSION_DATA_TAGGED = 143,    // CS
        PACKET_PED_RELAY_B = 144,            // CS
        PACKET_PED_RELAY_C = 145,            // CS
        PACKET_PED_RELAY_D = 146,            // CS
        PACKET_PED_RELAY_E = 147,            // CS
        PACKET_PED_RELAY_F = 148,            // CS
        PACKET_ANTICHEAT = 149,              // S game paths; C their digests
        PACKET_ENTITY_INTERIOR = 150,        // S
        PACKET_CAMERA_INTERIOR = 151,        // CS
        PACKET_CLIENT_EPISODE = 152,         // C
        PACKET_CLIENT_TRAINERS = 153,        // S
        PACKET_IV_NETWORK_EVENT = 154,       // C
        PACKET_PLAYER_POSITION = 180,        // S
    };

    // The game packets that may have a handler of the game server (the rest go to the base).
    constexpr unsigned PACKET_GAME_FIRST = 106;
    constexpr unsigned PACKET_GAME_LAST = 154;

    // The data of the ENet disconnect when the server closes a session.
    enum eDisconnectReason : uint32_t
    {
        DISCONNECT_SERVER_FULL = 1,
        DISCONNECT_UNSUPPORTED_CLIENT = 2,
        DISCONNECT_WRONG_GAME = 3,
        DISCONNECT_WRONG_PASSWORD = 4,
        DISCONNECT_QUIT = 6,
        DISCONNECT_BANNED = 7,
        DISCONNECT_BAD_ADDRESS = 8,
        DISCONNECT_INVALID_NICKNAME = 9,
        DISCONNECT_NICKNAME_IN_USE = 12,
        DISCONNECT_ANTICHEAT = 14,
    };

    enum eChatType : uint32_t
    {
        CHAT_TYPE_NONE = 0,
        CHAT_TYPE_CHAT = 1,
        CHAT_TYPE_INFO = 2,
        CHAT_TYPE_DEBUG = 3,
    };

    constexpr uint32_t COLOUR_LIME = 0xFF00FF00;

    // Flags of a client description (packets 19, 20, 34).
    enum eClientFlags : uint8_t
    {
        CLIENT_FLAG_ADMINISTRATOR = 1,
        CLIENT_FLAG_CONSOLE = 2,
    };

    // Bounds of client-sent texts.
    constexpr uint32_t MAX_CHAT_LENGTH = 4096;
    constexpr uint32_t MAX_NICKNAME_LENGTH = 31;
    constexpr uint32_t MAX_COMMAND_ARGUMENTS_RUN = 255;
}
