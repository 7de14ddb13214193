// Helpers of the virtual camera's Wine tests: COM apartment, device list and binding,
// a capture graph built on the platform's own objects, and a sample-grabber callback
// that checks every frame it sees.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include <mutex>
#include <string>
#include <vector>

#include "ComHolder.h"
#include "MediaTypeHolder.h"
#include "TestPicture.h"

namespace vcamtest {

std::string Hex(HRESULT hr);

class ComApartment {
 public:
  ComApartment() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(m_hr)) CoUninitialize();
  }

 private:
  HRESULT m_hr;
};

struct ListedDevice {
  bool readable = false;
  std::wstring name;
};
// Every moniker of the video input category in enumeration order.
std::vector<ListedDevice> EnumerateVideoInputs();
// Binds the moniker at `index` (every moniker counts) the way a host does.
HRESULT BindVideoInput(size_t index, IBaseFilter** filter);

struct FrameRecord {
  uint32_t sequence = 0;
  qvvcam::FrameStatus status = qvvcam::FrameStatus::NoStamp;
  double sampleTime = 0;
  LONGLONG arrival = 0;  // QueryPerformanceCounter
  long length = 0;
};

// Buffer callback that checks each frame against the test picture's stamp and keeps
// copies of the first few.
class FrameRecorder : public ISampleGrabberCB {
 public:
  explicit FrameRecorder(const qvvcam::FrameFormat& format, size_t keep = 3) : m_format(format), m_keep(keep) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }  // owned by the test, outlives the graph
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP SampleCB(double, IMediaSample*) override { return E_NOTIMPL; }
  STDMETHODIMP BufferCB(double sampleTime, BYTE* buffer, long length) override;

  std::vector<FrameRecord> Records();
  std::vector<std::pair<uint32_t, std::vector<uint8_t>>> Kept();
  size_t Count();
  void SetFormat(const qvvcam::FrameFormat& format);

 private:
  std::mutex m_lock;
  qvvcam::FrameFormat m_format;
  size_t m_keep;
  std::vector<FrameRecord> m_records;
  std::vector<uint8_t> m_scratch;
  std::vector<std::pair<uint32_t, std::vector<uint8_t>>> m_kept;
};

// A capture graph: source -> (Smart Tee) -> sample grabber -> renderer.
class CaptureGraph {
 public:
  CaptureGraph();
  ~CaptureGraph();
  HRESULT Created() const { return m_created; }
  HRESULT AddSource(IBaseFilter* source);
  // A grabber asking for video of `subtype`, calling recorder->BufferCB.
  HRESULT AddGrabber(const GUID& subtype, FrameRecorder* recorder);
  // RenderStream with PIN_CATEGORY_PREVIEW, then PIN_CATEGORY_CAPTURE, default renderer.
  HRESULT RenderDefault();
  // RenderStream with PIN_CATEGORY_CAPTURE into a Null Renderer.
  HRESULT RenderToNull();
  HRESULT GrabberType(AM_MEDIA_TYPE* mt);
  HRESULT Run();
  HRESULT Stop();
  // Stops, then disconnects and removes every filter but the source.
  void RemoveDownstream();
  void TearDown();
  IGraphBuilder* Graph() const { return m_graph.Get(); }
  ICaptureGraphBuilder2* Builder() const { return m_builder.Get(); }

 private:
  HRESULT m_created;
  ComHolder<IGraphBuilder> m_graph;
  ComHolder<ICaptureGraphBuilder2> m_builder;
  ComHolder<IMediaControl> m_control;
  ComHolder<IBaseFilter> m_source;
  ComHolder<IBaseFilter> m_grabberFilter;
  ComHolder<ISampleGrabber> m_grabber;
};

// Frames per second measured over the records' arrival times.
double MeasuredRate(const std::vector<FrameRecord>& records);

}  // namespace vcamtest
