#pragma once
// The fixed SimConnect identifiers of the traffic engine: the same numbers in
// every run, so that logs and the stand-in's trace read alike.
#include <cstdint>

// System events.
inline constexpr std::uint32_t EVENT_SIM = 201;
inline constexpr std::uint32_t EVENT_OBJECT_ADDED = 202;
inline constexpr std::uint32_t EVENT_OBJECT_REMOVED = 203;
inline constexpr std::uint32_t EVENT_FRAME = 204;
inline constexpr std::uint32_t EVENT_FLIGHT_LOADED = 205;

// Data definitions.
inline constexpr std::uint32_t DEF_AI_CONTROLS = 401;   // spoilers and two throttles
inline constexpr std::uint32_t DEF_POSITION = 402;      // PosSet block
inline constexpr std::uint32_t DEF_USER_BLOCK = 403;    // UserAc
inline constexpr std::uint32_t DEF_IN_RANGE = 404;      // by-type answers
inline constexpr std::uint32_t DEF_STATIC_CG = 405;
inline constexpr std::uint32_t DEF_LIGHT_ON = 406;
inline constexpr std::uint32_t DEF_USER_TITLE = 407;
inline constexpr std::uint32_t DEF_USER_MODEL = 408;
inline constexpr std::uint32_t DEF_USER_ON_GROUND = 409;

// Client events.
inline constexpr std::uint32_t EV_BEACON_LIGHTS_SET = 206;
inline constexpr std::uint32_t EV_NAV_LIGHTS_SET = 207;
inline constexpr std::uint32_t EV_TAXI_LIGHTS_SET = 208;
inline constexpr std::uint32_t EV_STROBES_SET = 209;
inline constexpr std::uint32_t EV_LANDING_LIGHTS_SET = 210;
inline constexpr std::uint32_t EV_CABIN_LIGHTS_SET = 211;
inline constexpr std::uint32_t EV_LOGO_LIGHTS_SET = 212;
inline constexpr std::uint32_t EV_ALL_LIGHTS_TOGGLE = 213;
inline constexpr std::uint32_t EV_FREEZE_LATITUDE_LONGITUDE_SET = 214;
inline constexpr std::uint32_t EV_FREEZE_ALTITUDE_SET = 215;
inline constexpr std::uint32_t EV_FREEZE_ATTITUDE_SET = 216;
inline constexpr std::uint32_t EV_FLAPS_SET = 217;
inline constexpr std::uint32_t EV_SPOILERS_SET = 218;
inline constexpr std::uint32_t EV_GEAR_SET = 219;
inline constexpr std::uint32_t EV_ENGINE_AUTO_START = 220;
inline constexpr std::uint32_t EV_ENGINE_AUTO_SHUTDOWN = 221;
inline constexpr std::uint32_t EV_THROTTLE_SET = 222;

// The one notification group every client event is sent with.
inline constexpr std::uint32_t GROUP_AI = 301;

// Requests.
inline constexpr std::uint32_t REQ_IN_RANGE = 101;
inline constexpr std::uint32_t REQ_STATIC_CG = 102;
inline constexpr std::uint32_t REQ_RELEASE = 103;
inline constexpr std::uint32_t REQ_CREATE = 104;
inline constexpr std::uint32_t REQ_REMOVE = 105;
inline constexpr std::uint32_t REQ_USER_TITLE = 106;
inline constexpr std::uint32_t REQ_USER_MODEL = 107;
inline constexpr std::uint32_t REQ_USER_ON_GROUND = 108;
inline constexpr std::uint32_t REQ_USER_BLOCK = 109;
inline constexpr std::uint32_t REQ_FLIGHT_PLAN = 110;
