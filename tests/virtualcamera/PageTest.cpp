// The property pages: the format page reached the way a host reaches it (FindInterface
// for IAMStreamConfig, its ISpecifyPropertyPages, OleCreatePropertyFrame), the device
// page, and the page contract outside a frame.
#include <gtest/gtest.h>

#include <olectl.h>

#include <atomic>
#include <thread>

#include "QvCameraSettings.h"
#include "VcamTestSupport.h"

using namespace vcamtest;

namespace {

struct FoundControl {
  int id;
  HWND control = nullptr;
};

BOOL CALLBACK FindById(HWND child, LPARAM param) {
  auto* found = reinterpret_cast<FoundControl*>(param);
  if (GetDlgCtrlID(child) == found->id) {
    wchar_t cls[32] = {};
    GetClassNameW(child, cls, 32);
    if (_wcsicmp(cls, L"ComboBox") == 0) {
      found->control = child;
      return FALSE;
    }
  }
  return TRUE;
}

struct FrameSearch {
  int comboId;
  HWND frame = nullptr;
  HWND combo = nullptr;
};

BOOL CALLBACK FindFrame(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<FrameSearch*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != GetCurrentProcessId()) return TRUE;
  FoundControl found{search->comboId};
  EnumChildWindows(window, FindById, reinterpret_cast<LPARAM>(&found));
  if (found.control == nullptr) return TRUE;
  search->frame = window;
  search->combo = found.control;
  return FALSE;
}

// What a user does from a second thread: find the frame, choose `entry` in the combo box
// with control ID comboId, press OK.
struct PageUser {
  PageUser(int id, std::wstring choice) : comboId(id), entry(std::move(choice)) {}
  int comboId;
  std::wstring entry;
  std::atomic<bool> foundFrame{false}, foundEntry{false};
  std::wstring firstEntry;
  LRESULT count = 0, initialSelection = -1;
  std::wstring initialText;

  void operator()() {
    FrameSearch search{comboId};
    for (int i = 0; i < 1000 && search.frame == nullptr; ++i) {
      EnumWindows(FindFrame, reinterpret_cast<LPARAM>(&search));
      if (search.frame == nullptr) Sleep(10);
    }
    if (search.frame == nullptr) return;
    foundFrame = true;
    wchar_t text[128] = {};
    count = SendMessageW(search.combo, CB_GETCOUNT, 0, 0);
    SendMessageW(search.combo, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(text));
    firstEntry = text;
    initialSelection = SendMessageW(search.combo, CB_GETCURSEL, 0, 0);
    if (initialSelection >= 0) {
      SendMessageW(search.combo, CB_GETLBTEXT, initialSelection, reinterpret_cast<LPARAM>(text));
      initialText = text;
    }
    const LRESULT item = SendMessageW(search.combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                      reinterpret_cast<LPARAM>(entry.c_str()));
    if (item != CB_ERR) {
      foundEntry = true;
      SendMessageW(search.combo, CB_SETCURSEL, item, 0);
      SendMessageW(GetParent(search.combo), WM_COMMAND, MAKEWPARAM(comboId, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(search.combo));
    }
    HWND ok = GetDlgItem(search.frame, IDOK);
    if (ok)
      SendMessageW(ok, BM_CLICK, 0, 0);
    else
      PostMessageW(search.frame, WM_CLOSE, 0, 0);
  }
};

class VcamPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_devices.Ok()) << m_devices.Error();
    ASSERT_EQ(BindVideoInput(0, m_filter.Out()), S_OK);
  }
  // Shows the pages of `object` in a property frame while `user` works it.
  void ShowFrame(IUnknown* object, PageUser& user) {
    ComHolder<ISpecifyPropertyPages> specify;
    ASSERT_EQ(object->QueryInterface(IID_ISpecifyPropertyPages, specify.OutVoid()), S_OK);
    CAUUID pages{};
    ASSERT_EQ(specify->GetPages(&pages), S_OK);
    ASSERT_EQ(pages.cElems, 1u);
    std::thread worker(std::ref(user));
    const HRESULT hr =
        OleCreatePropertyFrame(nullptr, 30, 30, nullptr, 1, &object, pages.cElems, pages.pElems, 0, 0, nullptr);
    worker.join();
    CoTaskMemFree(pages.pElems);
    EXPECT_EQ(hr, S_OK);
    ASSERT_TRUE(user.foundFrame) << "no property frame with control " << user.comboId;
  }

  ComApartment m_com;
  qvtest::VirtualCameraDevices m_devices{{qvtest::VirtualDevice::Named(L"Page Camera")}};
  ComHolder<IBaseFilter> m_filter;
};

TEST_F(VcamPageTest, FormatPageChoiceIsWhatGetFormatReports) {
  CaptureGraph graph;
  ASSERT_EQ(graph.AddSource(m_filter.Get()), S_OK);
  ComHolder<IAMStreamConfig> config;
  ASSERT_EQ(graph.Builder()->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, m_filter.Get(), IID_IAMStreamConfig,
                                           config.OutVoid()),
            S_OK);
  PageUser user(qvvcam::kFormatPageComboId, L"YUY2 1280 x 720, 30 fps");
  ShowFrame(config.Get(), user);
  EXPECT_EQ(user.count, 32);
  EXPECT_EQ(user.firstEntry, L"RGB24 320 x 240, 30 fps");
  EXPECT_EQ(user.initialText, L"RGB24 640 x 480, 30 fps") << "the current format is selected";
  ASSERT_TRUE(user.foundEntry);
  MediaTypeHolder mt;
  ASSERT_EQ(config->GetFormat(mt.TaskOut()), S_OK);
  long w = 0, h = 0;
  EXPECT_TRUE(IsEqualGUID(mt->subtype, MEDIASUBTYPE_YUY2));
  EXPECT_TRUE(VideoSize(*mt, &w, &h));
  EXPECT_EQ(w, 1280);
  EXPECT_EQ(h, 720);
}

TEST_F(VcamPageTest, DevicePageChoosesThePattern) {
  ComHolder<IQvCameraSettings> settings;
  ASSERT_EQ(m_filter->QueryInterface(qvvcam::IID_IQvCameraSettings, settings.OutVoid()), S_OK);
  PageUser user(qvvcam::kDevicePagePatternId, L"Still box");
  ShowFrame(m_filter.Get(), user);
  EXPECT_EQ(user.initialText, L"Moving box");
  ASSERT_TRUE(user.foundEntry);
  LONG still = 0;
  ASSERT_EQ(settings->GetPattern(&still), S_OK);
  EXPECT_EQ(still, 1);
}

// Outside a frame: a choice refused while the filter runs keeps the page dirty, and Apply
// (where a system calls it) sets it once the filter has stopped.
TEST_F(VcamPageTest, RefusedChoiceIsAppliedLater) {
  ComHolder<IPin> pin;
  ASSERT_EQ(FirstPin(m_filter.Get(), pin.Out()), S_OK);
  ComHolder<IPropertyPage> page;
  ASSERT_EQ(
      CoCreateInstance(qvvcam::CLSID_QvFormatPage, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage, page.OutVoid()),
      S_OK);
  PROPPAGEINFO info{};
  ASSERT_EQ(page->GetPageInfo(&info), S_OK);
  EXPECT_STREQ(info.pszTitle, L"Stream Format");
  CoTaskMemFree(info.pszTitle);

  IUnknown* wrong = m_filter.Get();  // the filter has no IAMStreamConfig of its own
  EXPECT_EQ(page->SetObjects(1, &wrong), E_NOINTERFACE);
  IUnknown* object = pin.Get();
  ASSERT_EQ(page->SetObjects(1, &object), S_OK);
  HWND parent =
      CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(parent, nullptr);
  RECT rect{0, 0, 260, 120};
  ASSERT_EQ(page->Activate(parent, &rect, TRUE), S_OK);
  EXPECT_EQ(page->IsPageDirty(), S_FALSE);

  FoundControl found{qvvcam::kFormatPageComboId};
  EnumChildWindows(parent, FindById, reinterpret_cast<LPARAM>(&found));
  ASSERT_NE(found.control, nullptr);
  const LRESULT item = SendMessageW(found.control, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                    reinterpret_cast<LPARAM>(L"UYVY 320 x 240, 30 fps"));
  ASSERT_NE(item, CB_ERR);
  ASSERT_EQ(m_filter->Run(0), S_OK);
  SendMessageW(found.control, CB_SETCURSEL, item, 0);
  SendMessageW(GetParent(found.control), WM_COMMAND, MAKEWPARAM(qvvcam::kFormatPageComboId, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(found.control));
  EXPECT_EQ(page->IsPageDirty(), S_OK) << "SetFormat is refused while running";
  ASSERT_EQ(m_filter->Stop(), S_OK);
  EXPECT_EQ(page->Apply(), S_OK);
  EXPECT_EQ(page->IsPageDirty(), S_FALSE);

  ComHolder<IAMStreamConfig> config;
  ASSERT_EQ(pin->QueryInterface(IID_IAMStreamConfig, config.OutVoid()), S_OK);
  MediaTypeHolder mt;
  ASSERT_EQ(config->GetFormat(mt.TaskOut()), S_OK);
  long w = 0, h = 0;
  EXPECT_TRUE(IsEqualGUID(mt->subtype, MEDIASUBTYPE_UYVY));
  EXPECT_TRUE(VideoSize(*mt, &w, &h) && w == 320 && h == 240);

  EXPECT_EQ(page->Deactivate(), S_OK);
  EXPECT_EQ(page->SetObjects(0, nullptr), S_OK);
  DestroyWindow(parent);
}

}  // namespace
