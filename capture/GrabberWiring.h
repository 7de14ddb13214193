// The sample grabber's part of a graph build, shared by the first build and the format
// change: each function makes one step's platform calls, in the design's order, and the
// caller decides what a failure means.
#pragma once

#include "ComHolder.h"
#include "DirectShow.h"

namespace qv {

// The grabber's filter interface: what is added to the graph and rendered through. The
// query's result is not examined.
ComHolder<IBaseFilter> GrabberFilterOf(ISampleGrabber* grabber);

// Fills request as video of subtype RGB24, any size, no format block: what the first
// build asks the grabber for.
void RequestRgb24(AM_MEDIA_TYPE& request);

// Adds the grabber's filter to the graph under the name "Grabber".
HRESULT AddGrabberToGraph(IGraphBuilder* graph, IBaseFilter* grabberFilter);

// Renders source -> grabber -> the builder's default renderer: from the preview pin with
// previewMajorType first, and only if that fails from the capture pin with video. The
// result is the last request's. Without a source both are taken as failed (E_POINTER)
// without asking: the platform's builder dereferences a null source.
HRESULT RenderThroughGrabber(ICaptureGraphBuilder2* builder, const GUID& previewMajorType, IBaseFilter* source,
                             IBaseFilter* grabberFilter);

// Records the type's subtype and frame size in the callback object.
void RecordGrabbedFormat(const AM_MEDIA_TYPE& type);

// Every frame handed once to the callback object's BufferCB: no sample copies kept, no
// stop after the first one. None of the three results is examined.
void StartBufferCallbacks(ISampleGrabber* grabber);

}  // namespace qv
