// The sample grabber's buffer callback: records the newest frame into library memory
// and hands it to the host as an RGB24 frame.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "FrameStore.h"
#include "String.h"

namespace qv {
class MjpgDecoder;
}

class CDSGrabberCB : public ISampleGrabberCB {
 public:
  CDSGrabberCB();
  virtual ~CDSGrabberCB();
  CDSGrabberCB(const CDSGrabberCB&) = delete;
  CDSGrabberCB& operator=(const CDSGrabberCB&) = delete;

  // ISampleGrabberCB. The object is static: the reference count is not kept.
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP SampleCB(double sampleTime, IMediaSample* sample) override;
  STDMETHODIMP BufferCB(double sampleTime, BYTE* buffer, long length) override;

  // Host thread. Writes the newest recorded frame as an RGB24 frame of m_nWidth x
  // m_nHeight x 3 bytes (copied for RGB24; converted for YUY2, UYVY, NV12, I420/IYUV,
  // YV12 and RGB32; decoded for MJPG) or, when there is none, its subtype is another
  // one, the fields no longer describe the format the frame was recorded in, or the
  // MJPG frame does not decode cleanly to that size, writes nothing. Frames live in the library's memory:
  // after the graph that delivered it is gone, the last recorded frame is still
  // handed out, whole, until ClearRecordedFrame or a RecordFormat.
  void GrabFrame(unsigned char* destination);
  void GetImageSize(int* width, int* height);
  void SetCaptureFile(const char* path, int flag);

  // Host thread, while no frame flows: records subtype, width and height (in that
  // order) and sizes the frame slots for that format.
  void RecordFormat(const GUID& subtype, int width, int height);
  // Forgets the newest frame, so nothing recorded before is handed out.
  void ClearRecordedFrame();
  // MJPG samples dropped for being longer than a slot since the last RecordFormat.
  uint32_t DroppedOversizeFrames() const { return m_store.OversizeDrops(); }

  int m_nWidth = 0;
  int m_nHeight = 0;
  CString m_strCapturePath;
  // The newest recorded frame, in the library's own memory (null: none).
  std::atomic<unsigned char*> m_pBuffer{nullptr};
  GUID m_subtype;

 private:
  // The frame layouts the grab hands out; Other is any other subtype.
  enum class Layout { Rgb24, Yuy2, Uyvy, Nv12, I420, Yv12, Rgb32, Mjpg, Other };
  static Layout LayoutOf(const GUID& subtype);
  // Sizes the slots (and, for MJPG, the decoder) for frames of this layout and size;
  // false for sizes that the platform's 32-bit lengths, the conversions or the decoder refuse.
  bool SizeSlots(Layout layout, int width, int height);

  qv::FrameStore m_store;
  // Decodes MJPG frames on the host thread; made by the first MJPG RecordFormat.
  std::unique_ptr<qv::MjpgDecoder> m_decoder;
  // The format the slots were sized for by RecordFormat. The grab hands a frame out
  // only while the public fields still describe it (they are written directly, too).
  Layout m_recordedLayout = Layout::Other;  // none
  int m_recordedWidth = 0;
  int m_recordedHeight = 0;
};

// The grab flag: 1 records every frame, 0 stopped; 2 records nothing either, and the
// next frame turns it to 0.
// Atomic so the streaming and host threads share it soundly; it reads and assigns
// like the plain 32-bit integer it stands for (1 at load).
extern std::atomic<LONG> g_nGrabFlag;
constexpr LONG kGrabFlagOff = 0;
constexpr LONG kGrabFlagOn = 1;

// The module's one callback object (defined with the module's other static objects).
extern CDSGrabberCB g_grabberCB;
