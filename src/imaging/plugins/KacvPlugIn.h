/*
 * KacvPlugIn.h - the interface between Reelvane and its converter plug-ins.
 *
 * A converter plug-in is a shared library named "*.kcv" in the folder "Converters/" beside
 * the program. It exports the functions below as plain C symbols with exactly these names.
 * At start-up the program loads every plug-in in name order and calls bKacvInitialize; for
 * every frame it asks the plug-ins in that order through bKacvCanConvert, and the first one
 * that answers true reads the header and converts the pixels straight into the frame's
 * bitmap (32 bits per pixel, bytes blue, green, red, alpha, line table entry 0 = top row).
 *
 * Calling sequence for one frame:
 *   bKacvCanConvert -> KacvBeforeConvert -> header -> KacvSetCineonValues (when exported)
 *   -> conversion.
 * A plug-in that exports both bKacvReadHeader2 and bKacvDoConversion2 gets the whole file
 * in memory; otherwise it pulls the bytes itself through the reader table.
 *
 * Conventions: KacvBool is one byte, 0 = false; texts are zero-terminated 8-bit strings;
 * every error buffer is owned by the program and holds KACV_ERROR_BUFFER_SIZE bytes, into
 * which the plug-in writes a zero-terminated message when it returns false. C++ exceptions
 * that escape a plug-in call are caught by the program and count as a false result, but a
 * plug-in should not rely on that.
 *
 * Plug-in calls are never made concurrently; plug-ins need not be re-entrant.
 */
#ifndef REELVANE_KACV_PLUGIN_H
#define REELVANE_KACV_PLUGIN_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef unsigned char KacvBool;

#define KACV_FALSE ((KacvBool)0)
#define KACV_TRUE ((KacvBool)1)

/* Sizes of the buffers the program hands over. */
#define KACV_TEXT_BUFFER_SIZE 256   /* name and description of bKacvInitialize */
#define KACV_ERROR_BUFFER_SIZE 1024 /* every error buffer */
#define KACV_HEADER_SIZE 512        /* bytes handed to bKacvCanConvert (zero-padded) */

/* The program's reader table: a plug-in of the reader-table generation pulls the bytes of
 * the current frame through the first two entries. Both return false instead of failing
 * when the data ends or cannot be read. A block stays valid until the next read. The
 * remaining fields are the program's own bookkeeping and must not be touched. */
typedef struct KacvReaderTable {
  KacvBool (*ReadByte)(unsigned char* byte);
  KacvBool (*ReadBlock)(uint32_t count, const unsigned char** block);
  int32_t instanceCount;
  void* plugInList;
  void* frameDecoder;
  void* currentSource;
} KacvReaderTable;

/* Signatures of the exports, as function pointer types. */
typedef KacvBool (*KacvInitializeFn)(char* name, char* description, int32_t* versionMajor,
                                     int32_t* versionMinor, int32_t* reserved);
typedef KacvBool (*KacvCanConvertFn)(const char* path, const char* extension,
                                     const unsigned char* header);
typedef void (*KacvBeforeConvertFn)(void);
typedef KacvBool (*KacvReadHeaderFn)(KacvReaderTable* reader, int32_t* bitsPerPixel, int32_t* width,
                                     int32_t* height, char* error);
typedef KacvBool (*KacvReadHeader2Fn)(const unsigned char* data, size_t size, int32_t* bitsPerPixel,
                                      int32_t* width, int32_t* height, char* error);
typedef KacvBool (*KacvDoConversionFn)(KacvReaderTable* reader, unsigned char* const* lines,
                                       int32_t bitsPerPixel, int32_t width, int32_t height,
                                       char* error);
typedef KacvBool (*KacvDoConversion2Fn)(const unsigned char* data, size_t size,
                                        unsigned char* const* lines, int32_t bitsPerPixel,
                                        int32_t width, int32_t height, char* error);
typedef void (*KacvSetCineonValuesFn)(double gammaLog, double gammaDisplay, int32_t referenceBlack,
                                      int32_t referenceWhite, int32_t softClip);
typedef void (*KacvAfterConvertFn)(void);

/* Declarations for plug-in authors: define KACV_BUILDING_PLUGIN before including this header
 * in the plug-in's sources so the exports get default visibility. */
#if defined(KACV_BUILDING_PLUGIN)
#if defined(_WIN32)
#define KACV_EXPORT __declspec(dllexport)
#else
#define KACV_EXPORT __attribute__((visibility("default")))
#endif

/* Required. Fills name and description (at most 255 characters each) and the version.
 * *reserved is 0 on entry. False rejects the plug-in. */
KACV_EXPORT KacvBool bKacvInitialize(char* name, char* description, int32_t* versionMajor,
                                     int32_t* versionMinor, int32_t* reserved);
/* Required. True when the plug-in converts this file; header holds its first 512 bytes
 * (zero-padded for a shorter file); extension is the path's extension with its dot. */
KACV_EXPORT KacvBool bKacvCanConvert(const char* path, const char* extension,
                                     const unsigned char* header);
/* Required. Called before the header of a frame is read. */
KACV_EXPORT void KacvBeforeConvert(void);
/* Required. Reader-table generation: reads the header from the start of the file. */
KACV_EXPORT KacvBool bKacvReadHeader(KacvReaderTable* reader, int32_t* bitsPerPixel, int32_t* width,
                                     int32_t* height, char* error);
/* Optional. In-memory generation: the whole file is at data. */
KACV_EXPORT KacvBool bKacvReadHeader2(const unsigned char* data, size_t size, int32_t* bitsPerPixel,
                                      int32_t* width, int32_t* height, char* error);
/* Required. Reader-table generation: converts into the bitmap's rows (bitsPerPixel is 32). */
KACV_EXPORT KacvBool bKacvDoConversion(KacvReaderTable* reader, unsigned char* const* lines,
                                       int32_t bitsPerPixel, int32_t width, int32_t height,
                                       char* error);
/* Optional. In-memory generation of the conversion. */
KACV_EXPORT KacvBool bKacvDoConversion2(const unsigned char* data, size_t size,
                                        unsigned char* const* lines, int32_t bitsPerPixel,
                                        int32_t width, int32_t height, char* error);
/* Optional. The log-to-linear parameters, handed over before each conversion. */
KACV_EXPORT void KacvSetCineonValues(double gammaLog, double gammaDisplay, int32_t referenceBlack,
                                     int32_t referenceWhite, int32_t softClip);
/* Required but never called; kept for compatibility with existing plug-ins. */
KACV_EXPORT void KacvAfterConvert(void);
#endif /* KACV_BUILDING_PLUGIN */

#ifdef __cplusplus
}
#endif

#endif /* REELVANE_KACV_PLUGIN_H */
