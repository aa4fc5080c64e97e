// The d3d9 exports besides Direct3DCreate9 (which lives with the forwarding): the ones
// that <d3d9.h> does not declare are declared here.
#pragma once

#include <windows.h>
#include <d3d9.h>

extern "C" {
void* WINAPI Direct3DShaderValidatorCreate9(void);
void WINAPI PSGPError(void* pVertices, UINT errorId, UINT param);
void WINAPI PSGPSampleTexture(void* pVertices, UINT stage, void* coordinates, UINT count, void* result);
void WINAPI DebugSetMute(void);
int WINAPI DebugSetLevel(void);
int WINAPI Direct3D9EnableMaximizedWindowedModeShim(UINT enable);
}
