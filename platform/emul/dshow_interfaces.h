// DirectShow interfaces as Windows declares them (strmif.h, control.h,
// amvideo.h): pure virtual methods in Windows' vtable order.
#pragma once

#include "emul/com_interfaces.h"
#include "emul/dshow_types.h"

struct IPin;
struct IEnumPins;
struct IEnumMediaTypes;
struct IFilterGraph;
struct IEnumFilters;
struct IBaseFilter;
struct IReferenceClock;
struct IMediaSample;
struct IMemAllocator;
struct IGraphBuilder;
struct IFileSinkFilter;
struct IAMCopyCaptureFileProgress;

struct IPin : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) = 0;
  virtual HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) = 0;
  virtual HRESULT STDMETHODCALLTYPE Disconnect() = 0;
  virtual HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pPin) = 0;
  virtual HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* pmt) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* pInfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* pPinDir) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* Id) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* pmt) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** ppEnum) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin** apPin, ULONG* nPin) = 0;
  virtual HRESULT STDMETHODCALLTYPE EndOfStream() = 0;
  virtual HRESULT STDMETHODCALLTYPE BeginFlush() = 0;
  virtual HRESULT STDMETHODCALLTYPE EndFlush() = 0;
  virtual HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) = 0;

 protected:
  ~IPin() = default;
};

struct IEnumPins : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE Skip(ULONG cPins) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IEnumPins** ppEnum) = 0;

 protected:
  ~IEnumPins() = default;
};

struct IEnumMediaTypes : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE Skip(ULONG cMediaTypes) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** ppEnum) = 0;

 protected:
  ~IEnumMediaTypes() = default;
};

struct IFilterGraph : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter* pFilter, LPCWSTR pName) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter* pFilter) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumFilters(IEnumFilters** ppEnum) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) = 0;
  virtual HRESULT STDMETHODCALLTYPE ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reconnect(IPin* ppin) = 0;
  virtual HRESULT STDMETHODCALLTYPE Disconnect(IPin* ppin) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDefaultSyncSource() = 0;

 protected:
  ~IFilterGraph() = default;
};

struct IEnumFilters : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Next(ULONG cFilters, IBaseFilter** ppFilter, ULONG* pcFetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE Skip(ULONG cFilters) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IEnumFilters** ppEnum) = 0;

 protected:
  ~IEnumFilters() = default;
};

struct IMediaFilter : public IPersist {
  virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
  virtual HRESULT STDMETHODCALLTYPE Pause() = 0;
  virtual HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME tStart) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* pClock) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** pClock) = 0;

 protected:
  ~IMediaFilter() = default;
};

struct IBaseFilter : public IMediaFilter {
  virtual HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** ppEnum) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR Id, IPin** ppPin) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* pInfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* pVendorInfo) = 0;

 protected:
  ~IBaseFilter() = default;
};

struct IReferenceClock : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* pTime) = 0;
  virtual HRESULT STDMETHODCALLTYPE AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT hEvent, DWORD_PTR* pdwAdviseCookie) = 0;
  virtual HRESULT STDMETHODCALLTYPE AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime, HSEMAPHORE hSemaphore, DWORD_PTR* pdwAdviseCookie) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unadvise(DWORD_PTR dwAdviseCookie) = 0;

 protected:
  ~IReferenceClock() = default;
};

struct IMediaSample : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetPointer(BYTE** ppBuffer) = 0;
  virtual LONG STDMETHODCALLTYPE GetSize() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) = 0;
  virtual HRESULT STDMETHODCALLTYPE IsSyncPoint() = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL bIsSyncPoint) = 0;
  virtual HRESULT STDMETHODCALLTYPE IsPreroll() = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPreroll(BOOL bIsPreroll) = 0;
  virtual LONG STDMETHODCALLTYPE GetActualDataLength() = 0;
  virtual HRESULT STDMETHODCALLTYPE SetActualDataLength(LONG a) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE** ppMediaType) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE* pMediaType) = 0;
  virtual HRESULT STDMETHODCALLTYPE IsDiscontinuity() = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL bDiscontinuity) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) = 0;

 protected:
  ~IMediaSample() = default;
};

struct IMemAllocator : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* pRequest, ALLOCATOR_PROPERTIES* pActual) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetProperties(ALLOCATOR_PROPERTIES* pProps) = 0;
  virtual HRESULT STDMETHODCALLTYPE Commit() = 0;
  virtual HRESULT STDMETHODCALLTYPE Decommit() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime, REFERENCE_TIME* pEndTime, DWORD dwFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE ReleaseBuffer(IMediaSample* pBuffer) = 0;

 protected:
  ~IMemAllocator() = default;
};

struct IMemInputPin : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** ppAllocator) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) = 0;
  virtual HRESULT STDMETHODCALLTYPE Receive(IMediaSample* pSample) = 0;
  virtual HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample** pSamples, LONG nSamples, LONG* nSamplesProcessed) = 0;
  virtual HRESULT STDMETHODCALLTYPE ReceiveCanBlock() = 0;

 protected:
  ~IMemInputPin() = default;
};

struct IGraphBuilder : public IFilterGraph {
  virtual HRESULT STDMETHODCALLTYPE Connect(IPin* ppinOut, IPin* ppinIn) = 0;
  virtual HRESULT STDMETHODCALLTYPE Render(IPin* ppinOut) = 0;
  virtual HRESULT STDMETHODCALLTYPE RenderFile(LPCWSTR lpcwstrFile, LPCWSTR lpcwstrPlayList) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddSourceFilter(LPCWSTR lpcwstrFileName, LPCWSTR lpcwstrFilterName, IBaseFilter** ppFilter) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetLogFile(DWORD_PTR hFile) = 0;
  virtual HRESULT STDMETHODCALLTYPE Abort() = 0;
  virtual HRESULT STDMETHODCALLTYPE ShouldOperationContinue() = 0;

 protected:
  ~IGraphBuilder() = default;
};

struct ICaptureGraphBuilder2 : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetFiltergraph(IGraphBuilder* pfg) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFiltergraph(IGraphBuilder** ppfg) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetOutputFileName(const GUID* pType, LPCOLESTR lpstrFile, IBaseFilter** ppf, IFileSinkFilter** ppSink) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindInterface(const GUID* pCategory, const GUID* pType, IBaseFilter* pf, REFIID riid, void** ppint) = 0;
  virtual HRESULT STDMETHODCALLTYPE RenderStream(const GUID* pCategory, const GUID* pType, IUnknown* pSource, IBaseFilter* pfCompressor, IBaseFilter* pfRenderer) = 0;
  virtual HRESULT STDMETHODCALLTYPE ControlStream(const GUID* pCategory, const GUID* pType, IBaseFilter* pFilter, REFERENCE_TIME* pstart, REFERENCE_TIME* pstop, WORD wStartCookie, WORD wStopCookie) = 0;
  virtual HRESULT STDMETHODCALLTYPE AllocCapFile(LPCOLESTR lpstr, DWORDLONG dwlSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyCaptureFile(LPOLESTR lpwstrOld, LPOLESTR lpwstrNew, int fAllowEscAbort, IAMCopyCaptureFileProgress* pCallback) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindPin(IUnknown* pSource, PIN_DIRECTION pindir, const GUID* pCategory, const GUID* pType, BOOL fUnconnected, int num, IPin** ppPin) = 0;

 protected:
  ~ICaptureGraphBuilder2() = default;
};

struct IMediaEventSink : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Notify(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) = 0;

 protected:
  ~IMediaEventSink() = default;
};

struct IAMFilterMiscFlags : public IUnknown {
  virtual ULONG STDMETHODCALLTYPE GetMiscFlags() = 0;

 protected:
  ~IAMFilterMiscFlags() = default;
};

struct ICreateDevEnum : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateClassEnumerator(REFCLSID clsidDeviceClass, IEnumMoniker** ppEnumMoniker, DWORD dwFlags) = 0;

 protected:
  ~ICreateDevEnum() = default;
};

struct IAMStreamConfig : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetFormat(AM_MEDIA_TYPE* pmt) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFormat(AM_MEDIA_TYPE** pmt) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetNumberOfCapabilities(int* piCount, int* piSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStreamCaps(int iIndex, AM_MEDIA_TYPE** pmt, BYTE* pSCC) = 0;

 protected:
  ~IAMStreamConfig() = default;
};

struct IAMVideoControl : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetCaps(IPin* pin, LONG* flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetMode(IPin* pin, LONG mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMode(IPin* pin, LONG* mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCurrentActualFrameRate(IPin* pin, LONGLONG* frame_rate) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMaxAvailableFrameRate(IPin* pin, LONG index, SIZE dimensions, LONGLONG* frame_rate) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFrameRateList(IPin* pin, LONG index, SIZE dimensions, LONG* list_size, LONGLONG** frame_rate) = 0;

 protected:
  ~IAMVideoControl() = default;
};

struct IAMDroppedFrames : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetNumDropped(LONG* number) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetNumNotDropped(LONG* number) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDroppedInfo(LONG size, LONG* array, LONG* copied) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetAverageFrameSize(LONG* size) = 0;

 protected:
  ~IAMDroppedFrames() = default;
};

struct IKsPropertySet : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Set(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData, LPVOID pPropData, DWORD cbPropData) = 0;
  virtual HRESULT STDMETHODCALLTYPE Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData, LPVOID pPropData, DWORD cbPropData, DWORD* pcbReturned) = 0;
  virtual HRESULT STDMETHODCALLTYPE QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) = 0;

 protected:
  ~IKsPropertySet() = default;
};

struct IQualProp : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_FramesDroppedInRenderer(int* pcFrames) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_FramesDrawn(int* pcFramesDrawn) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AvgFrameRate(int* piAvgFrameRate) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Jitter(int* iJitter) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AvgSyncOffset(int* piAvg) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DevSyncOffset(int* piDev) = 0;

 protected:
  ~IQualProp() = default;
};

struct IMediaControl : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Run() = 0;
  virtual HRESULT STDMETHODCALLTYPE Pause() = 0;
  virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetState(LONG msTimeout, OAFilterState* pfs) = 0;
  virtual HRESULT STDMETHODCALLTYPE RenderFile(BSTR strFilename) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddSourceFilter(BSTR strFilename, IDispatch** ppUnk) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_FilterCollection(IDispatch** ppUnk) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_RegFilterCollection(IDispatch** ppUnk) = 0;
  virtual HRESULT STDMETHODCALLTYPE StopWhenReady() = 0;

 protected:
  ~IMediaControl() = default;
};

struct IMediaEvent : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE GetEventHandle(OAEVENT* hEvent) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetEvent(LONG* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2, LONG msTimeout) = 0;
  virtual HRESULT STDMETHODCALLTYPE WaitForCompletion(LONG msTimeout, LONG* pEvCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE CancelDefaultHandling(LONG lEvCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE RestoreDefaultHandling(LONG lEvCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE FreeEventParams(LONG lEvCode, LONG_PTR lParam1, LONG_PTR lParam2) = 0;

 protected:
  ~IMediaEvent() = default;
};

struct IMediaEventEx : public IMediaEvent {
  virtual HRESULT STDMETHODCALLTYPE SetNotifyWindow(OAHWND hwnd, LONG lMsg, LONG_PTR lInstanceData) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetNotifyFlags(LONG lNoNotifyFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetNotifyFlags(LONG* lplNoNotifyFlags) = 0;

 protected:
  ~IMediaEventEx() = default;
};

struct IVideoWindow : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE put_Caption(BSTR strCaption) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Caption(BSTR* strCaption) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_WindowStyle(LONG WindowStyle) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_WindowStyle(LONG* WindowStyle) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_WindowStyleEx(LONG WindowStyleEx) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_WindowStyleEx(LONG* WindowStyleEx) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_AutoShow(LONG AutoShow) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AutoShow(LONG* AutoShow) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_WindowState(LONG WindowState) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_WindowState(LONG* WindowState) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_BackgroundPalette(LONG BackgroundPalette) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_BackgroundPalette(LONG* pBackgroundPalette) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Visible(LONG Visible) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Visible(LONG* pVisible) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Left(LONG Left) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Left(LONG* pLeft) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Width(LONG Width) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Width(LONG* pWidth) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Top(LONG Top) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Top(LONG* pTop) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Height(LONG Height) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Height(LONG* pHeight) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Owner(OAHWND Owner) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Owner(OAHWND* Owner) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_MessageDrain(OAHWND Drain) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_MessageDrain(OAHWND* Drain) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_BorderColor(LONG* Color) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_BorderColor(LONG Color) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_FullScreenMode(LONG* FullScreenMode) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_FullScreenMode(LONG FullScreenMode) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetWindowForeground(LONG Focus) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotifyOwnerMessage(OAHWND hwnd, LONG uMsg, LONG_PTR wParam, LONG_PTR lParam) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetWindowPosition(LONG Left, LONG Top, LONG Width, LONG Height) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetWindowPosition(LONG* pLeft, LONG* pTop, LONG* pWidth, LONG* pHeight) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMinIdealImageSize(LONG* pWidth, LONG* pHeight) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMaxIdealImageSize(LONG* pWidth, LONG* pHeight) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRestorePosition(LONG* pLeft, LONG* pTop, LONG* pWidth, LONG* pHeight) = 0;
  virtual HRESULT STDMETHODCALLTYPE HideCursor(LONG HideCursor) = 0;
  virtual HRESULT STDMETHODCALLTYPE IsCursorHidden(LONG* CursorHidden) = 0;

 protected:
  ~IVideoWindow() = default;
};

struct IBasicVideo : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_AvgTimePerFrame(REFTIME* pAvgTimePerFrame) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_BitRate(LONG* pBitRate) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_BitErrorRate(LONG* pBitErrorRate) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_VideoWidth(LONG* pVideoWidth) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_VideoHeight(LONG* pVideoHeight) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_SourceLeft(LONG SourceLeft) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_SourceLeft(LONG* pSourceLeft) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_SourceWidth(LONG SourceWidth) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_SourceWidth(LONG* pSourceWidth) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_SourceTop(LONG SourceTop) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_SourceTop(LONG* pSourceTop) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_SourceHeight(LONG SourceHeight) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_SourceHeight(LONG* pSourceHeight) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_DestinationLeft(LONG DestinationLeft) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DestinationLeft(LONG* pDestinationLeft) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_DestinationWidth(LONG DestinationWidth) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DestinationWidth(LONG* pDestinationWidth) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_DestinationTop(LONG DestinationTop) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DestinationTop(LONG* pDestinationTop) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_DestinationHeight(LONG DestinationHeight) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DestinationHeight(LONG* pDestinationHeight) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSourcePosition(LONG Left, LONG Top, LONG Width, LONG Height) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSourcePosition(LONG* pLeft, LONG* pTop, LONG* pWidth, LONG* pHeight) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDefaultSourcePosition() = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDestinationPosition(LONG Left, LONG Top, LONG Width, LONG Height) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDestinationPosition(LONG* pLeft, LONG* pTop, LONG* pWidth, LONG* pHeight) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDefaultDestinationPosition() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetVideoSize(LONG* pWidth, LONG* pHeight) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetVideoPaletteEntries(LONG StartIndex, LONG Entries, LONG* pRetrieved, LONG* pPalette) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCurrentImage(LONG* pBufferSize, LONG* pDIBImage) = 0;
  virtual HRESULT STDMETHODCALLTYPE IsUsingDefaultSource() = 0;
  virtual HRESULT STDMETHODCALLTYPE IsUsingDefaultDestination() = 0;

 protected:
  ~IBasicVideo() = default;
};
