/* What every_export.c and iidc.h take from the Windows SDK's windows.h, as
 * the SDK declares it, for a build in Microsoft's mode without the SDK. */
#ifndef IIDC_TEST_WINDOWS_H
#define IIDC_TEST_WINDOWS_H
typedef struct HWND__ *HWND;
typedef void *HANDLE;
typedef unsigned long DWORD;
#define STD_OUTPUT_HANDLE ((DWORD)-11)
__declspec(dllimport) HANDLE __stdcall GetStdHandle(DWORD nStdHandle);
__declspec(dllimport) int __stdcall WriteFile(HANDLE hFile, const void *pBuffer, DWORD cbToWrite, DWORD *pcbWritten,
                                              void *pOverlapped);
__declspec(dllimport) void __stdcall ExitProcess(unsigned int uExitCode);
#endif
