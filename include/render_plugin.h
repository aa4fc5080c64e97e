/*
 * render_plugin.h: the contract between d3d9.dll and a render plugin.
 *
 * A render plugin is a Windows DLL with the extension ".rpi", placed in the "plugins"
 * directory below the program's current directory. d3d9.dll loads every such file,
 * lists each in the program's "Плагины" menu under the name the plugin reports, and
 * calls the chosen one once per presented frame. The plugin gets a small 16-bit image
 * (the frame sampled down by 2, 3 or 4) and writes a full-size, enlarged and filtered
 * image over the frame.
 *
 * A plugin exports two functions, by these exact names, with the C calling convention
 * (__cdecl: on 32-bit Windows the caller removes the argument from the stack):
 *
 *   PluginDescriptor* RenderPluginGetInfo(void);
 *       Returns the address of the plugin's descriptor: a record that stays valid for
 *       as long as the DLL is loaded (a static variable is the usual choice). Called
 *       once when the menu is built (for the name) and at every activation (for the
 *       flags). A plugin that lacks this export, or returns NULL, is not listed.
 *
 *   void RenderPluginOutput(PluginFrameRequest* request);
 *       Called once per presented frame while the plugin is chosen, on the thread that
 *       presents, with the frame locked in system memory. Optional: a plugin without
 *       it is listed and can be chosen, and the frame then reaches the screen as
 *       rendered.
 *
 * PIXELS. Every pixel, in the source and in the destination, is a 16-bit R5G6B5 value
 * (red in bits 15-11, green 10-5, blue 4-0), little-endian.
 *
 * SCALE. The descriptor's flags choose the factor s by which the frame is sampled down
 * and by which the plugin must enlarge it again:
 *   RPI_FLAG_SCALE4 (0x40000) set                          s = 4
 *   otherwise RPI_FLAG_SCALE3_BITS (0x30000) both set      s = 3
 *   otherwise (0x10000 alone, 0x20000 alone, or neither)   s = 2
 * For a frame of W x H pixels, the source image is Ws = W / s by Hs = H / s pixels
 * (rounded down); source pixel (x, y) is frame pixel (s*x, s*y), copied unchanged.
 *
 * WHAT A PLUGIN READS.
 *   - The request (all fields). It is rebuilt only when the plugin is (re)activated or
 *     the device is re-created; between frames only pDst changes.
 *   - The source image: dwSrcHeight rows of dwSrcWidth pixels at pSrc, rows
 *     dwSrcPitch bytes apart (dwSrcPitch = 2 * dwSrcWidth: rows are packed).
 *   - Zero margins around it: the four rows of dwSrcPitch bytes just above the first
 *     row, and at least four rows of dwSrcPitch bytes below the last row, read as 0
 *     (black) and lie inside the library's buffer. A plugin that looks at up to four
 *     neighbours above or below may therefore read them without testing for the edge.
 *     There is no margin to the left or right: the pixel before a row's first pixel is
 *     the previous row's last one. Clamp horizontal neighbours yourself.
 *   - The destination (it holds the frame as the program rendered it, at full size).
 *
 * WHAT A PLUGIN WRITES. Only the destination: dwDstHeight rows of dwDstWidth pixels at
 * pDst, rows dwDstPitch bytes apart (dwDstPitch may be larger than 2 * dwDstWidth).
 * Pixels it leaves alone reach the screen as rendered. When W or H is not a multiple
 * of s, the s * Ws columns and s * Hs rows cover the image and the few remaining
 * columns and rows are the plugin's to fill or leave alone.
 *
 * WHAT A PLUGIN MUST NOT DO. Keep pDst or pSrc after returning (the frame is unlocked
 * and uploaded right after the call; the source buffer is replaced at the next
 * activation); write to the source or to the request; read outside the source buffer
 * as described above. Any working memory a filter needs is the plugin's own; obtain it
 * once per frame size, not per frame.
 *
 * LAYOUT. On 32-bit Windows (the product) the records have exactly these layouts:
 *   PluginDescriptor, 64 bytes:   szName 0 (60 bytes), dwFlags 60.
 *   PluginFrameRequest, 48 bytes: dwSize 0, dwFlags 4, pSrc 8, dwSrcPitch 12,
 *     dwSrcWidth 16, dwSrcHeight 20, pDst 24, dwDstPitch 28, dwDstWidth 32,
 *     dwDstHeight 36, dwReserved1 40, dwReserved2 44; dwSize holds 48.
 * On 64-bit Windows the same fields with 8-byte pointers and natural alignment:
 *   PluginDescriptor, 64 bytes:   as above.
 *   PluginFrameRequest, 64 bytes: dwSize 0, dwFlags 4, pSrc 8, dwSrcPitch 16,
 *     dwSrcWidth 20, dwSrcHeight 24, (4 bytes padding), pDst 32, dwDstPitch 40,
 *     dwDstWidth 44, dwDstHeight 48, dwReserved1 52, dwReserved2 56, (4 bytes
 *     padding); dwSize holds 64.
 * Both are checked below when this header is compiled.
 */
#ifndef RENDER_PLUGIN_H
#define RENDER_PLUGIN_H

#include <stddef.h>
#include <stdint.h>

#ifdef _WIN32
#define RPI_CDECL __cdecl
#define RPI_EXPORT __declspec(dllexport)
#else
#define RPI_CDECL
#define RPI_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Length of the name field, terminator included. */
#define RPI_NAME_SIZE 60

/* Descriptor flags (PluginDescriptor.dwFlags). All other bits are ignored. */
#define RPI_FLAG_SCALE3_LOW 0x10000u  /* with RPI_FLAG_SCALE3_HIGH: s = 3 */
#define RPI_FLAG_SCALE3_HIGH 0x20000u
#define RPI_FLAG_SCALE3_BITS (RPI_FLAG_SCALE3_LOW | RPI_FLAG_SCALE3_HIGH)
#define RPI_FLAG_SCALE4 0x40000u      /* s = 4, whatever the two bits above say */
#define RPI_FLAG_USER 0x100u          /* copied into the request's dwFlags unchanged */

/* Request flags (PluginFrameRequest.dwFlags): RPI_FLAG_USER when the descriptor has
 * it, and RPI_REQUEST_ALWAYS, which every request carries. No other bit is set. */
#define RPI_REQUEST_ALWAYS 0x800u

typedef struct PluginDescriptor {
  char szName[RPI_NAME_SIZE]; /* display name, ANSI, NUL-terminated within the 60 bytes */
  uint32_t dwFlags;
} PluginDescriptor;

typedef struct PluginFrameRequest {
  uint32_t dwSize;      /* sizeof(PluginFrameRequest): 48 on 32-bit, 64 on 64-bit */
  uint32_t dwFlags;     /* RPI_REQUEST_ALWAYS, and RPI_FLAG_USER if the descriptor has it */
  const void* pSrc;     /* first source pixel */
  uint32_t dwSrcPitch;  /* bytes from one source row to the next: 2 * dwSrcWidth */
  uint32_t dwSrcWidth;  /* Ws = W / s */
  uint32_t dwSrcHeight; /* Hs = H / s */
  void* pDst;           /* first destination pixel: the frame, locked */
  uint32_t dwDstPitch;  /* bytes from one destination row to the next */
  uint32_t dwDstWidth;  /* W */
  uint32_t dwDstHeight; /* H */
  uint32_t dwReserved1; /* 0 */
  uint32_t dwReserved2; /* 0 */
} PluginFrameRequest;

typedef PluginDescriptor*(RPI_CDECL* RenderPluginGetInfoFn)(void);
typedef void(RPI_CDECL* RenderPluginOutputFn)(PluginFrameRequest* request);

/* The exports, for plugin sources. (The library itself defines RPI_HOST.) */
#ifndef RPI_HOST
RPI_EXPORT PluginDescriptor* RPI_CDECL RenderPluginGetInfo(void);
RPI_EXPORT void RPI_CDECL RenderPluginOutput(PluginFrameRequest* request);
#endif

#ifdef __cplusplus
#define RPI_STATIC_ASSERT(condition, message) static_assert(condition, message)
#else
#define RPI_STATIC_ASSERT(condition, message) _Static_assert(condition, message)
#endif

RPI_STATIC_ASSERT(sizeof(PluginDescriptor) == 64, "PluginDescriptor is 64 bytes");
RPI_STATIC_ASSERT(offsetof(PluginDescriptor, dwFlags) == 60, "dwFlags at 60");

#if UINTPTR_MAX == 0xFFFFFFFFu
RPI_STATIC_ASSERT(sizeof(PluginFrameRequest) == 48, "32-bit request is 48 bytes");
RPI_STATIC_ASSERT(offsetof(PluginFrameRequest, dwFlags) == 4, "dwFlags at 4");
RPI_STATIC_ASSERT(offsetof(PluginFrameRequest, pSrc) == 8, "pSrc at 8");
RPI_STATIC_ASSERT(offsetof(PluginFrameRequest, dwSrcPitch) == 12, "dwSrcPitch at 12");
RPI_STATIC_ASSERT(offsetof(PluginFrameRequest, dwSrcWidth) == 16, "dwSrcWidth at 16");
RPI_STATIC_ASSERT(offsetof(PluginFrameRequest, dwSrcHeight) == 20, "dwSrcHeight at 20");
RPI_STATIC_ASSERT(offsetof(PluginFrameRequest, pDst) == 24, "pDst at 24");
RPI_STATIC_ASSERT(offsetof(PluginFrameRequest, dwDstPitch) == 28, "dwDstPitch at 28");
RPI_STATIC_ASSERT(offsetof(PluginFrameRequest, dwDstWidth) == 32, "dwDstWidth at 32");
RPI_STATIC_ASSERT(offsetof(PluginFrameRequest, dwDstHeight) == 36, "dwDstHeight at 36");
RPI_STATIC_ASSERT(offsetof(PluginFrameRequest, dwReserved1) == 40, "dwReserved1 at 40");
RPI_STATIC_ASSERT(offsetof(PluginFrameRequest, dwReserved2) == 44, "dwReserved2 at 44");
#else
RPI_STATIC_ASSERT(sizeof(PluginFrameRequest) == 64, "64-bit request is 64 bytes");
RPI_STATIC_ASSERT(offsetof(PluginFrameRequest, dwFlags) == 4, "dwFlags at 4");
RPI_STATIC_ASSERT(offsetof(PluginFrameRequest, pSrc) == 8, "pSrc at 8");
RPI_STATIC_ASSERT(offsetof(PluginFrameRequest, dwSrcPitch) == 16, "dwSrcPitch at 16");
RPI_STATIC_ASSERT(offsetof(PluginFrameRequest, dwSrcWidth) == 20, "dwSrcWidth at 20");
RPI_STATIC_ASSERT(offsetof(PluginFrameRequest, dwSrcHeight) == 24, "dwSrcHeight at 24");
RPI_STATIC_ASSERT(offsetof(PluginFrameRequest, pDst) == 32, "pDst at 32");
RPI_STATIC_ASSERT(offsetof(PluginFrameRequest, dwDstPitch) == 40, "dwDstPitch at 40");
RPI_STATIC_ASSERT(offsetof(PluginFrameRequest, dwDstWidth) == 44, "dwDstWidth at 44");
RPI_STATIC_ASSERT(offsetof(PluginFrameRequest, dwDstHeight) == 48, "dwDstHeight at 48");
RPI_STATIC_ASSERT(offsetof(PluginFrameRequest, dwReserved1) == 52, "dwReserved1 at 52");
RPI_STATIC_ASSERT(offsetof(PluginFrameRequest, dwReserved2) == 56, "dwReserved2 at 56");
#endif

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* RENDER_PLUGIN_H */
