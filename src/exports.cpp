// The exports of the system's d3d9.dll besides Direct3DCreate9: each forwards to the
// system library's function of the same name (the library loaded at the first call, as
// Direct3DCreate9 loads it). Where the system library lacks a function, the export
// answers what a d3d9 without that feature answers: no profiler attached for the
// D3DPERF family, no validator, nothing done for the debug and software-pipeline hooks,
// and "not available" for Direct3DCreate9Ex. Nothing here throws or follows a pointer
// it did not check.
#include "exports.h"

#include <atomic>
#include <type_traits>

#include "device.h"
#include "forwarding.h"
#include "log.h"

// The system library's function `name`, or null (no library, or no such function).
static void* SystemFunction(const char* name)
{
  HMODULE module = SystemDirect3DModule();
  return module ? reinterpret_cast<void*>(GetProcAddress(module, name)) : nullptr;
}

// Each forwarder looks its function up once; the answer (found or not) is kept.
template <typename F>
class SystemEntry {
 public:
  explicit constexpr SystemEntry(const char* name) : name_(name) {}
  F Get()
  {
    if (!looked_.load(std::memory_order_acquire)) {
      function_.store(reinterpret_cast<F>(SystemFunction(name_)), std::memory_order_relaxed);
      // A library that could not be loaded is looked for again at the next call.
      if (SystemDirect3DModule())
        looked_.store(true, std::memory_order_release);
    }
    return function_.load(std::memory_order_relaxed);
  }

 private:
  const char* name_;
  std::atomic<F> function_{nullptr};
  std::atomic<bool> looked_{false};
};

// ---- Direct3DCreate9Ex ----

typedef HRESULT(WINAPI* Direct3DCreate9ExFn)(UINT, IDirect3D9Ex**);
static SystemEntry<Direct3DCreate9ExFn> Create9Ex("Direct3DCreate9Ex");

HRESULT WINAPI Direct3DCreate9Ex(UINT SDKVersion, IDirect3D9Ex** ppD3D)
{
  WriteLogLine(LogPoints::Create9Ex);
  const Direct3DCreate9ExFn create = Create9Ex.Get();
  if (!create) {
    // A d3d9 without the Ex interface (the platform's answer before it had one).
    WriteLogLabel("Direct3DCreate9ExOrg == NULL");
    if (ppD3D)
      *ppD3D = nullptr;
    return D3DERR_NOTAVAILABLE;
  }
  const HRESULT hr = create(SDKVersion, ppD3D);
  if (FAILED(hr) || !ppD3D || !*ppD3D) {
    WriteLogLabel("Direct3DCreate9ExOrg failed, hr = ", static_cast<uint32_t>(hr));
    return hr;
  }
  NoteDirect3DExInUse();
  HookCreateDeviceEx(*ppD3D);
  WriteLogLine(LogPoints::Create9ExSuccess);
  return hr;
}

// ---- the PIX event functions ----

typedef int(WINAPI* BeginEventFn)(D3DCOLOR, const WCHAR*);
typedef int(WINAPI* EndEventFn)(void);
typedef DWORD(WINAPI* GetStatusFn)(void);
typedef BOOL(WINAPI* QueryRepeatFrameFn)(void);
typedef void(WINAPI* MarkerFn)(D3DCOLOR, const WCHAR*);
typedef void(WINAPI* SetOptionsFn)(DWORD);
static SystemEntry<BeginEventFn> BeginEvent("D3DPERF_BeginEvent");
static SystemEntry<EndEventFn> EndEvent("D3DPERF_EndEvent");
static SystemEntry<GetStatusFn> GetStatus("D3DPERF_GetStatus");
static SystemEntry<QueryRepeatFrameFn> QueryRepeatFrame("D3DPERF_QueryRepeatFrame");
static SystemEntry<MarkerFn> SetMarker("D3DPERF_SetMarker");
static SystemEntry<MarkerFn> SetRegion("D3DPERF_SetRegion");
static SystemEntry<SetOptionsFn> SetOptions("D3DPERF_SetOptions");

// Without a profiler, events still nest: BeginEvent answers the depth before it,
// EndEvent the depth after it.
static std::atomic<int> EventDepth{0};

int WINAPI D3DPERF_BeginEvent(D3DCOLOR col, const WCHAR* wszName)
{
  if (const BeginEventFn f = BeginEvent.Get())
    return f(col, wszName);
  return EventDepth++;
}

int WINAPI D3DPERF_EndEvent(void)
{
  if (const EndEventFn f = EndEvent.Get())
    return f();
  return --EventDepth;
}

DWORD WINAPI D3DPERF_GetStatus(void)
{
  if (const GetStatusFn f = GetStatus.Get())
    return f();
  return 0;  // no profiler attached
}

BOOL WINAPI D3DPERF_QueryRepeatFrame(void)
{
  if (const QueryRepeatFrameFn f = QueryRepeatFrame.Get())
    return f();
  return FALSE;
}

void WINAPI D3DPERF_SetMarker(D3DCOLOR col, const WCHAR* wszName)
{
  if (const MarkerFn f = SetMarker.Get())
    f(col, wszName);
}

void WINAPI D3DPERF_SetRegion(D3DCOLOR col, const WCHAR* wszName)
{
  if (const MarkerFn f = SetRegion.Get())
    f(col, wszName);
}

void WINAPI D3DPERF_SetOptions(DWORD dwOptions)
{
  if (const SetOptionsFn f = SetOptions.Get())
    f(dwOptions);
}

// ---- the shader validator, the software pipeline and debug hooks ----

typedef void*(WINAPI* ShaderValidatorCreateFn)(void);
typedef void(WINAPI* PSGPErrorFn)(void*, UINT, UINT);
typedef void(WINAPI* PSGPSampleTextureFn)(void*, UINT, void*, UINT, void*);
typedef void(WINAPI* DebugSetMuteFn)(void);
typedef int(WINAPI* DebugSetLevelFn)(void);
typedef int(WINAPI* MaximizedShimFn)(UINT);
static SystemEntry<ShaderValidatorCreateFn> ShaderValidatorCreate("Direct3DShaderValidatorCreate9");
static SystemEntry<PSGPErrorFn> PsgpError("PSGPError");
static SystemEntry<PSGPSampleTextureFn> PsgpSampleTexture("PSGPSampleTexture");
static SystemEntry<DebugSetMuteFn> SetMute("DebugSetMute");
static SystemEntry<DebugSetLevelFn> SetLevel("DebugSetLevel");
static SystemEntry<MaximizedShimFn> MaximizedShim("Direct3D9EnableMaximizedWindowedModeShim");

extern "C" {

void* WINAPI Direct3DShaderValidatorCreate9(void)
{
  if (const ShaderValidatorCreateFn f = ShaderValidatorCreate.Get())
    return f();
  return nullptr;  // no validator
}

void WINAPI PSGPError(void* pVertices, UINT errorId, UINT param)
{
  if (const PSGPErrorFn f = PsgpError.Get())
    f(pVertices, errorId, param);
}

void WINAPI PSGPSampleTexture(void* pVertices, UINT stage, void* coordinates, UINT count, void* result)
{
  if (const PSGPSampleTextureFn f = PsgpSampleTexture.Get())
    f(pVertices, stage, coordinates, count, result);
}

void WINAPI DebugSetMute(void)
{
  if (const DebugSetMuteFn f = SetMute.Get())
    f();
}

int WINAPI DebugSetLevel(void)
{
  if (const DebugSetLevelFn f = SetLevel.Get())
    return f();
  return 0;
}

int WINAPI Direct3D9EnableMaximizedWindowedModeShim(UINT enable)
{
  if (const MaximizedShimFn f = MaximizedShim.Get())
    return f(enable);
  return 0;  // no shim: nothing changed
}

}  // extern "C"

// Every export has exactly the type of the system library's function it forwards to.
static_assert(std::is_same<decltype(&Direct3DCreate9Ex), Direct3DCreate9ExFn>::value, "Direct3DCreate9Ex");
static_assert(std::is_same<decltype(&D3DPERF_BeginEvent), BeginEventFn>::value, "D3DPERF_BeginEvent");
static_assert(std::is_same<decltype(&D3DPERF_EndEvent), EndEventFn>::value, "D3DPERF_EndEvent");
static_assert(std::is_same<decltype(&D3DPERF_GetStatus), GetStatusFn>::value, "D3DPERF_GetStatus");
static_assert(std::is_same<decltype(&D3DPERF_QueryRepeatFrame), QueryRepeatFrameFn>::value, "QueryRepeatFrame");
static_assert(std::is_same<decltype(&D3DPERF_SetMarker), MarkerFn>::value, "D3DPERF_SetMarker");
static_assert(std::is_same<decltype(&D3DPERF_SetRegion), MarkerFn>::value, "D3DPERF_SetRegion");
static_assert(std::is_same<decltype(&D3DPERF_SetOptions), SetOptionsFn>::value, "D3DPERF_SetOptions");
static_assert(std::is_same<decltype(&Direct3DShaderValidatorCreate9), ShaderValidatorCreateFn>::value, "validator");
static_assert(std::is_same<decltype(&PSGPError), PSGPErrorFn>::value, "PSGPError");
static_assert(std::is_same<decltype(&PSGPSampleTexture), PSGPSampleTextureFn>::value, "PSGPSampleTexture");
static_assert(std::is_same<decltype(&DebugSetMute), DebugSetMuteFn>::value, "DebugSetMute");
static_assert(std::is_same<decltype(&DebugSetLevel), DebugSetLevelFn>::value, "DebugSetLevel");
static_assert(std::is_same<decltype(&Direct3D9EnableMaximizedWindowedModeShim), MaximizedShimFn>::value, "shim");
