#pragma once
// The simulator's client interface in the shape the traffic code calls it,
// declared from the public SimConnect API reference.
// On Linux the calls travel over loopback TCP to the stand-in simulator
// (tools/simstandin); the address comes from gf_simConnectAddress(). On
// Windows they go to the SimConnect.dll beside skylume.exe (or the file
// SKLM_SIMCONNECT_DLL names), loaded on first use; the same loopback client
// built as simconnect-standin.dll stands in for it under test.
//
// Messages are delivered only inside SimConnect_CallDispatch, on the calling
// thread. The loopback client takes the other calls from any thread at once,
// but the simulator's library promises nothing of the kind: its callers make
// one call at a time (the traffic code holds gScMutex around each, the
// registration after the open included). CallDispatch alone is made outside
// that lock, because its handlers take it: it may overlap another thread's
// call, which only a real simulator can show to be safe. Calls made on the
// dispatching thread while it is inside CallDispatch are written together
// when CallDispatch returns, in packet order with every other thread's calls. A message handed to the
// dispatch procedure is 8-byte aligned and valid until the procedure returns.
// An exception of the dispatch procedure leaves SimConnect_CallDispatch with
// no further message of that call handed on; on Windows it is held while the
// library's own CallDispatch runs and thrown once that has returned, never
// through it.
#include <chrono>
#include <cstdint>
#include <string>

#include "platform/win_types.h"

using SIMCONNECT_OBJECT_ID = DWORD;
using SIMCONNECT_DATA_DEFINITION_ID = DWORD;
using SIMCONNECT_DATA_REQUEST_ID = DWORD;
using SIMCONNECT_CLIENT_EVENT_ID = DWORD;
using SIMCONNECT_NOTIFICATION_GROUP_ID = DWORD;
using SIMCONNECT_DATA_REQUEST_FLAG = DWORD;
using SIMCONNECT_DATA_SET_FLAG = DWORD;
using SIMCONNECT_EVENT_FLAG = DWORD;

constexpr SIMCONNECT_OBJECT_ID SIMCONNECT_OBJECT_ID_USER = 0;
constexpr DWORD SIMCONNECT_UNUSED = 0xFFFFFFFFu;
constexpr DWORD SIMCONNECT_GROUP_PRIORITY_HIGHEST = 1;

enum SIMCONNECT_DATATYPE : DWORD {
  SIMCONNECT_DATATYPE_INVALID = 0,
  SIMCONNECT_DATATYPE_INT32 = 1,
  SIMCONNECT_DATATYPE_INT64 = 2,
  SIMCONNECT_DATATYPE_FLOAT32 = 3,
  SIMCONNECT_DATATYPE_FLOAT64 = 4,
  SIMCONNECT_DATATYPE_STRING8 = 5,
  SIMCONNECT_DATATYPE_STRING32 = 6,
  SIMCONNECT_DATATYPE_STRING64 = 7,
  SIMCONNECT_DATATYPE_STRING128 = 8,
  SIMCONNECT_DATATYPE_STRING256 = 9,
  SIMCONNECT_DATATYPE_STRING260 = 10,
  SIMCONNECT_DATATYPE_STRINGV = 11,
};

enum SIMCONNECT_PERIOD : DWORD {
  SIMCONNECT_PERIOD_NEVER = 0,
  SIMCONNECT_PERIOD_ONCE = 1,
  SIMCONNECT_PERIOD_VISUAL_FRAME = 2,
  SIMCONNECT_PERIOD_SIM_FRAME = 3,
  SIMCONNECT_PERIOD_SECOND = 4,
};

enum SIMCONNECT_SIMOBJECT_TYPE : DWORD {
  SIMCONNECT_SIMOBJECT_TYPE_USER = 0,
  SIMCONNECT_SIMOBJECT_TYPE_ALL = 1,
  SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT = 2,
};

enum SIMCONNECT_RECV_ID : DWORD {
  SIMCONNECT_RECV_ID_NULL = 0,
  SIMCONNECT_RECV_ID_EXCEPTION = 1,
  SIMCONNECT_RECV_ID_OPEN = 2,
  SIMCONNECT_RECV_ID_QUIT = 3,
  SIMCONNECT_RECV_ID_EVENT = 4,
  SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE = 5,
  SIMCONNECT_RECV_ID_EVENT_FILENAME = 6,
  SIMCONNECT_RECV_ID_EVENT_FRAME = 7,
  SIMCONNECT_RECV_ID_SIMOBJECT_DATA = 8,
  SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE = 9,
};

enum SIMCONNECT_EXCEPTION : DWORD {
  SIMCONNECT_EXCEPTION_NONE = 0,
  SIMCONNECT_EXCEPTION_ERROR = 1,
  SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID = 3,
  SIMCONNECT_EXCEPTION_VERSION_MISMATCH = 5,
  SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED = 7,
  SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS = 11,
  SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE = 19,
  SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED = 22,
  SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED = 23,
  SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE = 24,
};

// The reference gives members in order but no sizes or packing: the sizes
// below follow from the members alone, the same packed or not, and are checked
// after the declarations. Nor does it promise any alignment of what the
// dispatch hands over: the Windows loader copies every message into aligned
// storage before the dispatch procedure sees it, and data blocks are read
// with memcpy.
struct SIMCONNECT_DATA_INITPOSITION {
  double Latitude;   // degrees
  double Longitude;  // degrees
  double Altitude;   // feet
  double Pitch;      // degrees
  double Bank;       // degrees
  double Heading;    // degrees
  DWORD OnGround;    // 1 on the ground
  DWORD Airspeed;    // knots
};

// Received messages. Each begins with the common header; dwSize counts the
// whole message including variable data.
struct SIMCONNECT_RECV {
  DWORD dwSize;
  DWORD dwVersion;
  DWORD dwID;
};

struct SIMCONNECT_RECV_EXCEPTION : SIMCONNECT_RECV {
  DWORD dwException;  // SIMCONNECT_EXCEPTION
  DWORD dwSendID;     // packet id of the call that failed
  DWORD dwIndex;      // 1-based index of the offending argument, 0 when none
};

struct SIMCONNECT_RECV_OPEN : SIMCONNECT_RECV {
  char szApplicationName[256];
  DWORD dwApplicationVersionMajor;
  DWORD dwApplicationVersionMinor;
  DWORD dwApplicationBuildMajor;
  DWORD dwApplicationBuildMinor;
  DWORD dwSimConnectVersionMajor;
  DWORD dwSimConnectVersionMinor;
  DWORD dwSimConnectBuildMajor;
  DWORD dwSimConnectBuildMinor;
  DWORD dwReserved1;
  DWORD dwReserved2;
};

struct SIMCONNECT_RECV_QUIT : SIMCONNECT_RECV {};

struct SIMCONNECT_RECV_EVENT : SIMCONNECT_RECV {
  DWORD uGroupID;  // SIMCONNECT_UNUSED for system events
  DWORD uEventID;
  DWORD dwData;
};

struct SIMCONNECT_RECV_EVENT_FILENAME : SIMCONNECT_RECV_EVENT {
  char szFileName[MAX_PATH];
  DWORD dwFlags;
};

struct SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE : SIMCONNECT_RECV_EVENT {
  SIMCONNECT_SIMOBJECT_TYPE eObjType;  // dwData carries the object id
};

struct SIMCONNECT_RECV_EVENT_FRAME : SIMCONNECT_RECV_EVENT {
  float fFrameRate;
  float fSimSpeed;
};

// Data answers: the values of the data definition, packed in its order from
// dwData on (FLOAT64 and INT64 take 8 bytes, STRINGn n bytes, STRINGV the
// text with its terminating zero padded to a multiple of 4). dwData sits at
// offset 40, so 8-byte values in the block are aligned.
struct SIMCONNECT_RECV_SIMOBJECT_DATA : SIMCONNECT_RECV {
  DWORD dwRequestID;
  DWORD dwObjectID;
  DWORD dwDefineID;
  DWORD dwFlags;
  DWORD dwentrynumber;  // 1-based, for answers by type
  DWORD dwoutof;        // number of answers of this request
  DWORD dwDefineCount;  // number of values in the block
  DWORD dwData;
};

struct SIMCONNECT_RECV_SIMOBJECT_DATA_BYTYPE : SIMCONNECT_RECV_SIMOBJECT_DATA {};

static_assert(sizeof(SIMCONNECT_DATA_INITPOSITION) == 56);
static_assert(sizeof(SIMCONNECT_RECV) == 12);
static_assert(sizeof(SIMCONNECT_RECV_EXCEPTION) == 24);
static_assert(sizeof(SIMCONNECT_RECV_OPEN) == 308);
static_assert(sizeof(SIMCONNECT_RECV_EVENT) == 24);
static_assert(sizeof(SIMCONNECT_RECV_EVENT_FILENAME) == 24 + MAX_PATH + 4);
static_assert(sizeof(SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE) == 28);
static_assert(sizeof(SIMCONNECT_RECV_EVENT_FRAME) == 32);
// Up to and including the first DWORD of the data block, which begins at 40.
static_assert(sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA) == 44);

// The library's exports are C functions; on 64-bit Windows there is one calling convention.
extern "C" {

using DispatchProc = void (*)(SIMCONNECT_RECV* pData, DWORD cbData, void* pContext);

HRESULT SimConnect_Open(HANDLE* phSimConnect, const char* szName, HWND hWnd, DWORD UserEventWin32,
                        HANDLE hEventHandle, DWORD ConfigIndex);
HRESULT SimConnect_Close(HANDLE hSimConnect);
HRESULT SimConnect_CallDispatch(HANDLE hSimConnect, DispatchProc pfcnDispatch, void* pContext);
HRESULT SimConnect_SubscribeToSystemEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                          const char* SystemEventName);
HRESULT SimConnect_UnsubscribeFromSystemEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID);
HRESULT SimConnect_AddToDataDefinition(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                       const char* DatumName, const char* UnitsName,
                                       SIMCONNECT_DATATYPE DatumType = SIMCONNECT_DATATYPE_FLOAT64,
                                       float fEpsilon = 0, DWORD DatumID = SIMCONNECT_UNUSED);
HRESULT SimConnect_ClearDataDefinition(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID);
HRESULT SimConnect_MapClientEventToSimEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                            const char* EventName = "");
HRESULT SimConnect_AddClientEventToNotificationGroup(HANDLE hSimConnect,
                                                     SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                                     SIMCONNECT_CLIENT_EVENT_ID EventID,
                                                     BOOL bMaskable = FALSE);
HRESULT SimConnect_SetNotificationGroupPriority(HANDLE hSimConnect,
                                                SIMCONNECT_NOTIFICATION_GROUP_ID GroupID, DWORD uPriority);
HRESULT SimConnect_RequestDataOnSimObject(HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                          SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                          SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_PERIOD Period,
                                          SIMCONNECT_DATA_REQUEST_FLAG Flags = 0, DWORD origin = 0,
                                          DWORD interval = 0, DWORD limit = 0);
HRESULT SimConnect_RequestDataOnSimObjectType(HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                              SIMCONNECT_DATA_DEFINITION_ID DefineID, DWORD dwRadiusMeters,
                                              SIMCONNECT_SIMOBJECT_TYPE type);
HRESULT SimConnect_SetDataOnSimObject(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                      SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_DATA_SET_FLAG Flags,
                                      DWORD ArrayCount, DWORD cbUnitSize, const void* pDataSet);
HRESULT SimConnect_TransmitClientEvent(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                       SIMCONNECT_CLIENT_EVENT_ID EventID, DWORD dwData,
                                       SIMCONNECT_NOTIFICATION_GROUP_ID GroupID, SIMCONNECT_EVENT_FLAG Flags);
HRESULT SimConnect_AICreateNonATCAircraft(HANDLE hSimConnect, const char* szContainerTitle,
                                          const char* szTailNumber, SIMCONNECT_DATA_INITPOSITION InitPos,
                                          SIMCONNECT_DATA_REQUEST_ID RequestID);
HRESULT SimConnect_AIRemoveObject(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                  SIMCONNECT_DATA_REQUEST_ID RequestID);
HRESULT SimConnect_AIReleaseControl(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                    SIMCONNECT_DATA_REQUEST_ID RequestID);
HRESULT SimConnect_AISetAircraftFlightPlan(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                           const char* szFlightPlanPath, SIMCONNECT_DATA_REQUEST_ID RequestID);
HRESULT SimConnect_GetLastSentPacketID(HANDLE hSimConnect, DWORD* pdwError);

}  // extern "C"

// Why the client library cannot be used ("SimConnect.dll not found beside
// skylume.exe"), or empty when it can. On Windows the library is loaded by the
// first call of this or of SimConnect_Open, and again by each later one until
// it loads; SimConnect_Open fails while it is missing.
std::string gf_simConnectLibraryProblem();

// Where the client finds the simulator: "host:port" or "port", host within
// 127.0.0.0/8. Taken from the environment variable SKLM_SIM_ADDR, else
// "127.0.0.1:" followed by gSimConnectDefaultPort, unless set by gf_setSimConnectAddress.
constexpr std::uint16_t gSimConnectDefaultPort = 51500;
std::string gf_simConnectAddress();
// An empty text returns to the environment / default.
void gf_setSimConnectAddress(const std::string& address);

// The program's own time, in engine ticks, of the data that the next
// SimConnect_SetDataOnSimObject call of this thread carries (the calls after
// it carry none unless told again). The loopback client sends it beside the
// set, so that a trace judges a step by the time the program took for it, not
// by when it arrived: after a stall the program catches up, and one frame may
// carry several sets. The simulator's library has no such thing,
// and there it does nothing.
void gf_simConnectNoteDataTime(std::int64_t ticks);

// Blocks until a message waits for SimConnect_CallDispatch, the connection is
// lost, or the time is up; true when CallDispatch has something to deliver.
bool gf_simConnectWaitForMessage(HANDLE hSimConnect, std::chrono::milliseconds timeout);

// Where the layer says why it ended a link (a message too large, one left
// incomplete): stderr until the program installs its log.
using SimConnectLogHook = void (*)(const std::string& line);
void gf_setSimConnectLogHook(SimConnectLogHook hook);

// Fault injection for tests: the next `count` calls of the named function
// (its name without the "SimConnect_" prefix, e.g. "AICreateNonATCAircraft")
// fail with E_FAIL on any connection without being sent.
void gf_simConnectFailNextCalls(const std::string& function, int count);
