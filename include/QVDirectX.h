/* QVDirectX: control of one video capture device through DirectShow.
 *
 * Call every function from one thread: the one that calls DSCameraInit.
 * Frames are RGB24: width x height pixels of 3 bytes (blue, green, red), rows
 * unpadded, bottom row first, exactly width x height x 3 bytes.
 *
 * On 32-bit Windows the functions use the __stdcall (WINAPI) convention, the
 * usual one for a Windows DLL, and are exported by their undecorated names; on
 * 64-bit Windows there is one calling convention. */
#ifndef QVDIRECTX_H
#define QVDIRECTX_H

#include <stdint.h>
#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef QVDX_API
#define QVDX_API __declspec(dllimport)
#endif
#define QVDX_CALL __stdcall

/* File types of DSCameraImageSave (exact codes, not bits). */
#define QVDX_FILE_JPEG 1
#define QVDX_FILE_BMP 2
#define QVDX_FILE_RAW 4
#define QVDX_FILE_TIFF 8

/* Builds the capture graph for the device at deviceIndex (low 8 bits count) in the
 * list that DSCameraRegisterpixel gives; the graph stays stopped. 1 when this call
 * built it, 0 otherwise (a second call, or a failure shown in a message box). */
QVDX_API int32_t QVDX_CALL DSCameraInit(uint8_t deviceIndex, HWND hostWindow);
/* Tears the graph down and closes the camera. Always 1. */
QVDX_API int32_t QVDX_CALL DSCameraUnInit(void);
/* Runs the graph: 1 when the run request answered S_FALSE, 2 for any other answer. */
QVDX_API int32_t QVDX_CALL DSCameraPlay(void);
/* Stops the graph. Always 1. */
QVDX_API int32_t QVDX_CALL DSCameraStop(void);
/* Copies the newest frame into buffer (width x height x 3 bytes, see
 * DSCameraGetImageSize) as RGB24; leaves it untouched when there is none. Always 1. */
QVDX_API int32_t QVDX_CALL DSGrabFrame(unsigned char* buffer);
/* Stores a capture path and stops recording frames: the next frame is not recorded,
 * and the newest frame recorded before stays the one DSGrabFrame copies. Always 1. */
QVDX_API int32_t QVDX_CALL DSCameraCaptureFile(const char* path);
/* Writes the current frame width and height in pixels. Always 1. */
QVDX_API int32_t QVDX_CALL DSCameraGetImageSize(int32_t* width, int32_t* height);
/* Saves an RGB24 frame as JPEG (1), BMP (2), raw (4) or TIFF (8, appended as a page).
 * Always 1; failures are shown in message boxes. */
QVDX_API int32_t QVDX_CALL DSCameraImageSave(unsigned char* frame, int32_t fileType, int32_t width, int32_t height,
                                             const char* path);
/* Appends the names of the video capture devices to a combo box (CB_ADDSTRING, ANSI).
 * The number of names added, or -1 when the device enumerator can't be created
 * (COM must be initialised on the thread, by the host or by DSCameraInit). */
QVDX_API int32_t QVDX_CALL DSCameraRegisterpixel(HWND comboBox);
/* Shows the device's property pages, owned by the host window. 0 without an open camera. */
QVDX_API int32_t QVDX_CALL DSProperty(void);
/* Shows the stream-format pages, then rebuilds and runs the graph. Always 1. */
QVDX_API int32_t QVDX_CALL DSResolution(void);

#ifdef __cplusplus
}
#endif

#endif /* QVDIRECTX_H */
