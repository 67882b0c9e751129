// The preview window on the Windows desktop: a top-level window of a class
// of its own, whose procedure notes closing and the keys that stop the
// preview. The library's video window lives in it as a child, and its
// messages go through the same loop.
#include "preview_window.h"

#include <fmt/format.h>

#include "exit_status.h"
#include "session.h"

namespace iidctool {

namespace {

constexpr char CLASS_NAME[] = "iidc.preview";

// Called by Windows: throws nothing.
LRESULT CALLBACK PreviewProc(HWND hWnd, UINT nMessage, WPARAM wParam, LPARAM lParam)
{
    auto* pbOpen = reinterpret_cast<bool*>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
    const bool bStop = nMessage == WM_CLOSE || nMessage == WM_DESTROY
                       || (nMessage == WM_KEYDOWN && (wParam == 'Q' || wParam == VK_ESCAPE));
    if (bStop && pbOpen)
        *pbOpen = false;
    // Closing only ends the loop; the window goes with its owner object.
    if (nMessage == WM_CLOSE)
        return 0;
    return DefWindowProcA(hWnd, nMessage, wParam, lParam);
}

}  // namespace

struct CPreviewWindow::CState {
  HWND hWnd = nullptr;
  bool bOpen = true;
};

CPreviewWindow::CPreviewWindow(int nWidth, int nHeight, const std::string& title) : m_pState(std::make_unique<CState>())
{
    const HINSTANCE hInstance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = PreviewProc;
    windowClass.hInstance = hInstance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = CLASS_NAME;
    RegisterClassA(&windowClass);  // fails harmlessly when a first window registered it
    // The client area, not the whole window, has the picture's size.
    constexpr DWORD STYLE = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    RECT rect{0, 0, nWidth, nHeight};
    AdjustWindowRect(&rect, STYLE, FALSE);
    m_pState->hWnd = CreateWindowExA(0, CLASS_NAME, title.c_str(), STYLE, CW_USEDEFAULT, CW_USEDEFAULT,
                                     rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr, hInstance, nullptr);
    if (!m_pState->hWnd)
        throw CToolError(EXIT_FAILED, fmt::format("cannot open a window (Windows error {}): run iidc view on a desktop",
                                                  GetLastError()));
    SetWindowLongPtrA(m_pState->hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&m_pState->bOpen));
    ShowWindow(m_pState->hWnd, SW_SHOWNORMAL);
    UpdateWindow(m_pState->hWnd);
}

CPreviewWindow::~CPreviewWindow()
{
    DestroyWindow(m_pState->hWnd);
}

iidc_window CPreviewWindow::Id() const
{
    return m_pState->hWnd;
}

void CPreviewWindow::SetTitle(const std::string& title)
{
    SetWindowTextA(m_pState->hWnd, title.c_str());
}

bool CPreviewWindow::Pump(int nMilliseconds)
{
    MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(nMilliseconds), QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return m_pState->bOpen;
}

}  // namespace iidctool
