// The fixed points of the diagnostic log: for every time-stamped line, its message, the
// module tag and the line number it prints. Tags and numbers are part of the log's
// format (users compare logs, tools read them), so they are data here, kept apart from
// whichever file writes the line; the tests build their expected lines from this table.
#pragma once

struct LogPoint {
  const char* message;
  const char* tag;
  int line;
};

namespace LogTag {
inline constexpr char D3d9[] = ".\\d3d9.cpp";
inline constexpr char Functions[] = ".\\functions.cpp";
inline constexpr char Hook[] = ".\\Hook.cpp";
inline constexpr char Menu[] = ".\\menu.cpp";
}  // namespace LogTag

namespace LogPoints {
// Start-up and host import patching.
inline constexpr LogPoint LogOn{"log on", LogTag::D3d9, 43};
inline constexpr LogPoint AddWidth{"WindowResizeAddWidth = ", LogTag::D3d9, 59};    // with a value
inline constexpr LogPoint AddHeight{"WindowResizeAddHeight = ", LogTag::D3d9, 60};  // with a value
inline constexpr LogPoint User32Found{"pImportDesc = user32 found!", LogTag::D3d9, 77};
inline constexpr LogPoint GetClientRectNotFound{"GetClientRect not found", LogTag::D3d9, 83};
inline constexpr LogPoint GetClientRectFound{"GetClientRect found!", LogTag::D3d9, 87};
inline constexpr LogPoint GetClientRectHook{"GetClientRect hook!", LogTag::D3d9, 93};
inline constexpr LogPoint SetWindowPosHook{"SetWindowPos hook!", LogTag::D3d9, 103};

// Forwarding, activation, window size, device creation and frames.
inline constexpr LogPoint Create9{"Direct3DCreate9", LogTag::Functions, 140};
inline constexpr LogPoint Create9Success{"Direct3DCreate9 success", LogTag::Functions, 147};
inline constexpr LogPoint InitPlugin{"InitPlugin", LogTag::Functions, 157};
inline constexpr LogPoint InitPluginSuccess{"InitPlugin success", LogTag::Functions, 212};
inline constexpr LogPoint GetClientRectNew{"GetClientRectNew", LogTag::Functions, 92};
inline constexpr LogPoint CreateDevice{"CreateDevice", LogTag::Functions, 219};
inline constexpr LogPoint CreateDeviceSuccess{"CreateDevice success", LogTag::Functions, 241};
inline constexpr LogPoint RenderTargetMeasured{"GetRenderTarget success", LogTag::Functions, 254};
inline constexpr LogPoint OffscreenMeasured{"CreateOffscreenPlainSurface success", LogTag::Functions, 265};
inline constexpr LogPoint CreateDeviceFailed{"CreateDevice failed", LogTag::Functions, 280};
inline constexpr LogPoint Present{"Present", LogTag::Functions, 295};
inline constexpr LogPoint PresentWithPlugin{"Present hPlugin!=NULL", LogTag::Functions, 302};
inline constexpr LogPoint FrameRenderTarget{"GetRenderTarget success", LogTag::Functions, 307};
inline constexpr LogPoint FrameReadBack{"GetRenderTargetData success", LogTag::Functions, 316};
inline constexpr LogPoint FrameLocked{"GetRenderTargetData success", LogTag::Functions, 320};
inline constexpr LogPoint RendOutput{"RendOutput success", LogTag::Functions, 380};
inline constexpr LogPoint UpdateSurface{"UpdateSurface success", LogTag::Functions, 385};
inline constexpr LogPoint PresentOrgSuccess{"PresentOrg success", LogTag::Functions, 395};
inline constexpr LogPoint PresentOrgFailed{"PresentOrg failed", LogTag::Functions, 399};
// Device resets (lines of their own after the frame path's).
inline constexpr LogPoint Reset{"Reset", LogTag::Functions, 410};
inline constexpr LogPoint ResetSuccess{"Reset success", LogTag::Functions, 425};
inline constexpr LogPoint ResetFailed{"Reset failed", LogTag::Functions, 429};
// The Ex path (lines of its own after the resets').
inline constexpr LogPoint Create9Ex{"Direct3DCreate9Ex", LogTag::Functions, 440};
inline constexpr LogPoint Create9ExSuccess{"Direct3DCreate9Ex success", LogTag::Functions, 447};
inline constexpr LogPoint CreateDeviceEx{"CreateDeviceEx", LogTag::Functions, 455};

// Method-table patching.
inline constexpr LogPoint HookCreateDevice{"HookCreateDevice", LogTag::Hook, 22};
inline constexpr LogPoint HookPresent{"HookPresent", LogTag::Hook, 89};
inline constexpr LogPoint WritableSuccess{"VirtualProtect PAGE_READWRITE success", LogTag::Hook, 107};
inline constexpr LogPoint WritableFailed{"VirtualProtect PAGE_READWRITE failed", LogTag::Hook, 111};
inline constexpr LogPoint RestoreSuccess{"VirtualProtect oldProtect success", LogTag::Hook, 123};
inline constexpr LogPoint RestoreFailed{"VirtualProtect oldProtect failed", LogTag::Hook, 127};

// The plugin menu and the window procedure.
inline constexpr LogPoint WindowProc{"WindowProc", LogTag::Menu, 38};
inline constexpr LogPoint Command{"WM_COMMAND==uMsg", LogTag::Menu, 78};
inline constexpr LogPoint PluginChoice{"50000<=LOWORD(wParam)", LogTag::Menu, 83};
inline constexpr LogPoint CreatePluginsMenu{"CreatePluginsMenu", LogTag::Menu, 145};
inline constexpr LogPoint SubclassSuccess{"SetWindowLongPtr success", LogTag::Menu, 214};
inline constexpr LogPoint SubclassFailed{"SetWindowLongPtr failed", LogTag::Menu, 218};
// Windows without a menu bar, later windows, and the cycling key (lines of their own).
inline constexpr LogPoint SystemMenuPopup{"plugin popup in the system menu", LogTag::Menu, 230};
inline constexpr LogPoint NoMenuAtAll{"no menu bar and no system menu", LogTag::Menu, 233};
inline constexpr LogPoint SysCommand{"WM_SYSCOMMAND plugin item", LogTag::Menu, 240};
inline constexpr LogPoint CycleKey{"cycle key", LogTag::Menu, 250};
}  // namespace LogPoints
