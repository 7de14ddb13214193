// The sample grabber's buffer callback: records the newest frame into library memory
// and hands it to the host as an RGB24 frame.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include <atomic>

#include "FrameStore.h"
#include "String.h"

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

  // Host thread.
  void GrabFrame(unsigned char* destination);
  void GetImageSize(int* width, int* height);
  void SetCaptureFile(const char* path, int flag);

  // Host thread, while no frame flows: records subtype, width and height (in that
  // order) and sizes the frame slots for that format.
  void RecordFormat(const GUID& subtype, int width, int height);
  // Forgets the newest frame, so nothing recorded before is handed out.
  void ClearRecordedFrame();

  int m_nWidth = 0;
  int m_nHeight = 0;
  CString m_strCapturePath;
  // The newest recorded frame, in the library's own memory (null: none).
  std::atomic<unsigned char*> m_pBuffer{nullptr};
  GUID m_subtype;

 private:
  qv::FrameStore m_store;
};

// The grab flag: 1 records every frame, 2 stops after the next one, 0 stopped.
extern std::atomic<LONG> g_nGrabFlag;

// The module's one callback object (defined with the module's other static objects).
extern CDSGrabberCB g_grabberCB;
