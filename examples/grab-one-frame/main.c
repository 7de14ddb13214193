/* Opens the first camera, grabs one frame and saves it as a BMP file. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <QVDirectX.h>

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : "frame.bmp";
  HWND host = CreateWindowExA(0, "STATIC", "host", WS_POPUP, 0, 0, 64, 64, NULL, NULL, NULL, NULL);
  if (DSCameraInit(0, host) != 1) {
    fprintf(stderr, "no camera could be opened\n");
    return 2;
  }
  DSCameraPlay();
  int32_t width = 0, height = 0;
  DSCameraGetImageSize(&width, &height);
  if (width <= 0 || height <= 0) {
    DSCameraUnInit();
    fprintf(stderr, "no frame size\n");
    return 3;
  }
  size_t bytes = (size_t)width * (size_t)height * 3;
  unsigned char* frame = malloc(bytes);
  if (frame == NULL) return 4;
  memset(frame, 0x5A, bytes);
  /* Wait up to 5 s for the first frame to land in the buffer. */
  int got = 0;
  for (int i = 0; i < 500 && !got; ++i) {
    DSGrabFrame(frame);
    for (size_t b = 0; b < bytes; b += 997) {
      if (frame[b] != 0x5A) {
        got = 1;
        break;
      }
    }
    if (!got) Sleep(10);
  }
  DSCameraStop();
  DSCameraUnInit();
  if (!got) {
    free(frame);
    fprintf(stderr, "no frame arrived\n");
    return 5;
  }
  DSCameraImageSave(frame, QVDX_FILE_BMP, width, height, path);
  free(frame);
  printf("grabbed a %d x %d frame into %s\n", (int)width, (int)height, path);
  return 0;
}
