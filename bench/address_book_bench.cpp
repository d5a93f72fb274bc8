// Address book costs that grow with the book: loading a damaged book at start-up, loading
// a large valid one, and OK in the address book dialog over a large list.
//
//   QT_QPA_PLATFORM=offscreen address_book_bench
#include <windows.h>

#include <benchmark/benchmark.h>

#include <QTimer>
#include <string>

#include "platform/gui/testing/testing.h"
#include "resources/client_resources.h"
#include "resources/resource_ids.h"
#include "support/kernel_test_files.h"
#include "support/test_window_class.h"
#include "userdata/address_book.h"
#include "userdata/address_book_dialog.h"

namespace {

using murmel::test::Widen;

// A main window with its recipient box, on a device folder of its own.
struct Device {
  murmel::test::DeviceFolder folder;
  HWND owner = nullptr;
  HWND box = nullptr;

  Device() {
    murmel::test::RegisterTestWindowClass(u"BenchOwner", DefWindowProcW);
    RegisterClientResources();
    owner = CreateWindowExW(0, u"BenchOwner", u"Owner", WS_VISIBLE, 0, 26, 240, 294, nullptr,
                            nullptr, nullptr, nullptr);
    box = CreateWindowExW(0, u"COMBOBOX", u"", WS_CHILD | WS_VISIBLE | CBS_DROPDOWN, 70, 114, 160,
                          100, owner, reinterpret_cast<HMENU>(INT_PTR{IDC_RECIPIENTS}), nullptr,
                          nullptr);
  }
};

Device& TheDevice() {
  static Device device;
  return device;
}

std::u16string Entry(int i) {
  return Widen("person" + std::string(1, static_cast<char>('a' + i % 26)) + "." +
               std::to_string(i) + "@example.org");
}

std::u16string ValidBook(int entries) {
  std::u16string text = u"[Address]\r\ncount=" + Widen(std::to_string(entries)) + u"\r\n";
  for (int i = 0; i < entries; ++i) {
    text += u"address" + Widen(std::to_string(i)) + u"=" + Entry(i) + u"\r\n";
  }
  return text;
}

void LoadBook(benchmark::State& state, const std::u16string& book) {
  Device& device = TheDevice();
  device.folder.WriteText("CEVireoRec.arr", book);
  for (auto _ : state) {
    SendMessageW(device.box, CB_RESETCONTENT, 0, 0);
    LoadAddressBook(device.box);
  }
  state.counters["entries"] = static_cast<double>(SendMessageW(device.box, CB_GETCOUNT, 0, 0));
}

// 1 MiB whose count reads 999999999, as a damaged file would.
void BM_LoadDamagedBook(benchmark::State& state) {
  std::u16string book = u"[Address]\r\ncount=999999999\r\naddress0=ann@example.org\r\n";
  book.resize(std::size_t{512} * 1024, u'#');
  LoadBook(state, book);
}
BENCHMARK(BM_LoadDamagedBook)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_LoadValidBook(benchmark::State& state) {
  LoadBook(state, ValidBook(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_LoadValidBook)->Arg(5000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(1);

// Opening the dialog over the list and pressing Done, which copies the sorted list back.
void BM_AddressBookDialogOk(benchmark::State& state) {
  Device& device = TheDevice();
  for (auto _ : state) {
    state.PauseTiming();
    SendMessageW(device.box, CB_RESETCONTENT, 0, 0);
    for (int i = 0; i < state.range(0); ++i) {
      const std::u16string entry = Entry(i);
      SendMessageW(device.box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
    }
    state.ResumeTiming();
    QTimer::singleShot(0,
                       [] { murmel::testing::Click(murmel::testing::ScreenPart("done_button")); });
    RunAddressBookDialog(device.owner);
  }
}
BENCHMARK(BM_AddressBookDialogOk)->Arg(5000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
