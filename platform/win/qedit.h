// The Sample Grabber and the Null Renderer: DirectShow pieces that the
// current Windows SDK no longer declares and that mingw-w64 declares only in
// part (its headers lack both class ids). Included by winapi.h after
// <dshow.h> on Windows builds only.
//
// The interfaces keep the include guards of the platform's generated
// headers, so whichever of this file and a system <qedit.h> comes first
// provides them and the other steps aside. The ids are the system's own; the
// import library strmiids defines them.
#pragma once

#include <dshow.h>

#ifndef __ISampleGrabberCB_INTERFACE_DEFINED__
#define __ISampleGrabberCB_INTERFACE_DEFINED__
EXTERN_C const IID IID_ISampleGrabberCB;  // {0579154A-2B53-4994-B0D0-E773148EFF85}
MIDL_INTERFACE("0579154A-2B53-4994-B0D0-E773148EFF85")
ISampleGrabberCB : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SampleCB(double SampleTime, IMediaSample* pSample) = 0;
  virtual HRESULT STDMETHODCALLTYPE BufferCB(double SampleTime, BYTE* pBuffer, LONG BufferLen) = 0;
};
#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(ISampleGrabberCB, 0x0579154a, 0x2b53, 0x4994, 0xb0, 0xd0, 0xe7, 0x73, 0x14, 0x8e,
                0xff, 0x85)
#endif
#endif

#ifndef __ISampleGrabber_INTERFACE_DEFINED__
#define __ISampleGrabber_INTERFACE_DEFINED__
EXTERN_C const IID IID_ISampleGrabber;  // {6B652FFF-11FE-4FCE-92AD-0266B5D7C78F}
MIDL_INTERFACE("6B652FFF-11FE-4FCE-92AD-0266B5D7C78F")
ISampleGrabber : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetOneShot(BOOL OneShot) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetMediaType(const AM_MEDIA_TYPE* pType) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetConnectedMediaType(AM_MEDIA_TYPE* pType) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetBufferSamples(BOOL BufferThem) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCurrentBuffer(LONG* pBufferSize, LONG* pBuffer) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCurrentSample(IMediaSample** ppSample) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetCallback(ISampleGrabberCB* pCallback,
                                                LONG WhichMethodToCallback) = 0;
};
#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(ISampleGrabber, 0x6b652fff, 0x11fe, 0x4fce, 0x92, 0xad, 0x02, 0x66, 0xb5, 0xd7,
                0xc7, 0x8f)
#endif
#endif

EXTERN_C const CLSID CLSID_SampleGrabber;  // {C1F400A0-3F08-11D3-9F0B-006008039E37}
EXTERN_C const CLSID CLSID_NullRenderer;   // {C1F400A4-3F08-11D3-9F0B-006008039E37}
