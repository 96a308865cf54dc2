/* vyrender: the page-render engine's C interface.
 *
 * The library opens a PDF file, reports its page count, renders a page into an RGBA raster of
 * a requested width and saves a page as a JPEG file. Only plain C types cross the interface:
 *
 * - Paths are NUL-terminated UTF-8.
 * - Message buffers belong to the caller. When `message` is not null and `messageSize` > 0 its
 *   first byte is set to 0 on entry; on failure it receives the Spanish message, cut byte-wise
 *   to messageSize - 1 bytes, and a NUL. A null buffer or a size <= 0 turns messages off.
 * - A raster is width * height * 4 bytes, rows top to bottom with no padding, each pixel R, G,
 *   B, A with A always 255. It is allocated with the platform allocator (malloc on POSIX,
 *   CoTaskMemAlloc on Windows), belongs to the caller and is given back with VyPdf_Free, before
 *   or after its document is closed.
 * - Widths are clamped to 16 ... 6000; the height follows the page's aspect ratio (at least 1).
 *   JPEG quality is clamped to 1 ... 100.
 *
 * Each document has its own worker thread: calls on one handle run one at a time in the order
 * they were made, calls on different handles run in parallel. VyPdf_Close must not overlap any
 * other call on the same handle. Nothing is thrown across the interface.
 *
 * VyPdf_PageSizes and VyPdf_PrefetchPage came after the first six: a caller binds them when
 * present and manages without them otherwise (the interface version stays 1).
 */
#ifndef VYRENDER_VYRENDER_H
#define VYRENDER_VYRENDER_H

#ifdef __cplusplus
extern "C" {
#endif

/* Callers bind the exports at run time; only the library's own build marks them exported. */
#if defined(_WIN32)
#define VYPDF_CALL __cdecl
#else
#define VYPDF_CALL
#endif
#if !defined(VYPDF_BUILD)
#define VYPDF_API
#elif defined(_WIN32)
#define VYPDF_API __declspec(dllexport)
#else
#define VYPDF_API __attribute__((visibility("default")))
#endif

#define VYPDF_ABI_VERSION 1

typedef struct VyPdfDocument VyPdfDocument;

/* VyPdf_ApiVersion returns VYPDF_ABI_VERSION. */
VYPDF_API int VYPDF_CALL VyPdf_ApiVersion(void);

/* VyPdf_Open opens the PDF at `path` and stores its page count (> 0) in *pageCount when given.
 * It returns null, with a message and *pageCount 0, for an empty path, a path that is not an
 * existing file, a damaged or password-protected PDF, or a PDF without pages. */
VYPDF_API VyPdfDocument* VYPDF_CALL VyPdf_Open(const char* path, int* pageCount, char* message,
                                               int messageSize);

/* VyPdf_Close waits for the document's queued calls, then releases it; null does nothing. */
VYPDF_API void VYPDF_CALL VyPdf_Close(VyPdfDocument* document);

/* VyPdf_Free releases a raster from VyPdf_RenderPage; null does nothing. */
VYPDF_API void VYPDF_CALL VyPdf_Free(void* buffer);

/* VyPdf_RenderPage renders page `pageIndex` (from 0) at `width` pixels and returns 1 with the
 * raster in *pixels and its size in *pixelWidth and *pixelHeight. It returns 0, leaving the
 * three outputs null and 0, for a null handle or output, a page outside 0 ... count - 1, or a
 * rendering failure. */
VYPDF_API int VYPDF_CALL VyPdf_RenderPage(VyPdfDocument* document, int pageIndex, int width,
                                          unsigned char** pixels, int* pixelWidth, int* pixelHeight,
                                          char* message, int messageSize);

/* VyPdf_SavePageJpg renders page `pageIndex` at `width` pixels and writes it as a JPEG file at
 * `destination` (checked before the page index). An existing file is replaced only by a
 * complete one: on failure the destination is left as it was. Returns 1 on success, else 0. */
VYPDF_API int VYPDF_CALL VyPdf_SavePageJpg(VyPdfDocument* document, int pageIndex, int width, int quality,
                                           const char* destination, char* message, int messageSize);

/* VyPdf_PageSizes stores the displayed size, in points and after the page's own rotation, of
 * `count` pages from `firstPage` on: width and height of page firstPage + i in sizes[2 * i] and
 * sizes[2 * i + 1]. It returns 1, or 0 with a message for a null handle or buffer, a range
 * outside the document or a page the renderer cannot read (`sizes` is then left undefined). */
VYPDF_API int VYPDF_CALL VyPdf_PageSizes(VyPdfDocument* document, int firstPage, int count, float* sizes,
                                         char* message, int messageSize);

/* VyPdf_PrefetchPage queues a render of page `pageIndex` at `width` and returns at once, so that
 * a later VyPdf_RenderPage of the same page and width hands over that raster instead of
 * rendering again. The engine keeps the two latest prefetched pages, and drops a prefetch that
 * has not started when a VyPdf_RenderPage call is waiting. It returns 1 when the render was
 * queued, 0 for a null handle or a page outside the document. */
VYPDF_API int VYPDF_CALL VyPdf_PrefetchPage(VyPdfDocument* document, int pageIndex, int width);

/* Function types for binding the library at run time. */
typedef int(VYPDF_CALL* VyPdfApiVersionFn)(void);
typedef VyPdfDocument*(VYPDF_CALL* VyPdfOpenFn)(const char*, int*, char*, int);
typedef void(VYPDF_CALL* VyPdfCloseFn)(VyPdfDocument*);
typedef void(VYPDF_CALL* VyPdfFreeFn)(void*);
typedef int(VYPDF_CALL* VyPdfRenderPageFn)(VyPdfDocument*, int, int, unsigned char**, int*, int*, char*, int);
typedef int(VYPDF_CALL* VyPdfSavePageJpgFn)(VyPdfDocument*, int, int, int, const char*, char*, int);
typedef int(VYPDF_CALL* VyPdfPageSizesFn)(VyPdfDocument*, int, int, float*, char*, int);
typedef int(VYPDF_CALL* VyPdfPrefetchPageFn)(VyPdfDocument*, int, int);

#ifdef __cplusplus
}
#endif

#endif
