#pragma once
// Fake association handlers and enumerators that count their references: Wine
// enumerates no handlers of its own, so the shell's objects are played by these.

#include <gtest/gtest.h>

#include <shellapi.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/windows/dynamic_library.h"
#include "platform/windows/windows.h"

namespace tessiva::test {

/// A copy of `text` in CoTaskMem, as the shell hands out strings; null for none.
inline LPWSTR co_task_copy(const std::optional<std::wstring>& text) {
  if (!text) return nullptr;
  static platform::LazyFunction<decltype(::CoTaskMemAlloc)> alloc{platform::ole32, "CoTaskMemAlloc"};
  auto* memory = static_cast<LPWSTR>(alloc.get()((text->size() + 1) * sizeof(wchar_t)));
  std::copy(text->begin(), text->end(), memory);
  memory[text->size()] = L'\0';
  return memory;
}

/// What one fake handler answers.
struct HandlerSetup {
  std::optional<std::wstring> name = L"C:\\Programs\\app.exe";
  HRESULT name_result = S_OK;
  std::optional<std::wstring> ui_name = L"App";
  HRESULT ui_name_result = S_OK;
  HRESULT recommended = S_FALSE;
  std::optional<std::wstring> icon_location{};
  int icon_index = 0;
  HRESULT icon_result = S_OK;
};

/// An `IAssocHandler` owned by the test (Release never deletes it); one reference is
/// the test's own. Counts the calls that tests look at and records what `Invoke` was
/// given.
class FakeHandler final : public IAssocHandler {
 public:
  explicit FakeHandler(HandlerSetup setup) : setup_(std::move(setup)) {}
  /// A handler that differs from the default only in its name.
  explicit FakeHandler(std::optional<std::wstring> name, HRESULT name_result = S_OK)
      : setup_{.name = std::move(name), .name_result = name_result} {}
  FakeHandler(const FakeHandler&) = delete;
  FakeHandler& operator=(const FakeHandler&) = delete;

  ULONG references = 1;
  int name_calls = 0;
  int icon_location_calls = 0;
  int invoke_calls = 0;
  HRESULT invoke_result = S_OK;
  /// The files of the data object `Invoke` received (CF_HDROP).
  std::vector<std::wstring> invoked_files;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IAssocHandler)) {
      *out = static_cast<IAssocHandler*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }

  HRESULT STDMETHODCALLTYPE GetName(LPWSTR* out) override {
    ++name_calls;
    *out = SUCCEEDED(setup_.name_result) ? co_task_copy(setup_.name) : nullptr;
    return setup_.name_result;
  }
  HRESULT STDMETHODCALLTYPE GetUIName(LPWSTR* out) override {
    *out = SUCCEEDED(setup_.ui_name_result) ? co_task_copy(setup_.ui_name) : nullptr;
    return setup_.ui_name_result;
  }
  HRESULT STDMETHODCALLTYPE GetIconLocation(LPWSTR* path, int* index) override {
    ++icon_location_calls;
    *path = SUCCEEDED(setup_.icon_result) ? co_task_copy(setup_.icon_location) : nullptr;
    *index = setup_.icon_index;
    return setup_.icon_result;
  }
  HRESULT STDMETHODCALLTYPE IsRecommended() override { return setup_.recommended; }
  HRESULT STDMETHODCALLTYPE MakeDefault(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(IDataObject* data) override {
    ++invoke_calls;
    if (data) record_files(data);
    return invoke_result;
  }
  HRESULT STDMETHODCALLTYPE CreateInvoker(IDataObject*, IAssocHandlerInvoker** out) override {
    *out = nullptr;
    return E_NOTIMPL;
  }

 private:
  HandlerSetup setup_;

  void record_files(IDataObject* data) {
    static platform::LazyFunction<decltype(::DragQueryFileW)> query{platform::shell32, "DragQueryFileW"};
    static platform::LazyFunction<decltype(::ReleaseStgMedium)> release{platform::ole32, "ReleaseStgMedium"};
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (FAILED(data->GetData(&format, &medium))) return;
    const auto drop = static_cast<HDROP>(medium.hGlobal);
    const UINT count = query.get()(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
      std::wstring file(query.get()(drop, i, nullptr, 0) + 1, L'\0');
      file.resize(query.get()(drop, i, file.data(), static_cast<UINT>(file.size())));
      invoked_files.push_back(file);
    }
    release.get()(&medium);
  }
};

/// An enumerator over the given handlers (null entries allowed), handing out a
/// reference with each; after them S_FALSE, or `end_result` when that is set.
class FakeEnumerator final : public IEnumAssocHandlers {
 public:
  explicit FakeEnumerator(std::vector<FakeHandler*> handlers, HRESULT end_result = S_FALSE)
      : handlers_(std::move(handlers)), end_result_(end_result) {}

  ULONG references = 1;
  std::size_t next_calls = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IEnumAssocHandlers)) {
      *out = static_cast<IEnumAssocHandlers*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }

  HRESULT STDMETHODCALLTYPE Next(ULONG count, IAssocHandler** out, ULONG* fetched) override {
    ++next_calls;
    ULONG n = 0;
    while (n < count && delivered_ < handlers_.size()) {
      FakeHandler* handler = handlers_[delivered_++];
      if (handler) handler->AddRef();
      out[n++] = handler;
    }
    if (fetched) *fetched = n;
    if (n == count) return S_OK;
    return end_result_;
  }

 private:
  std::vector<FakeHandler*> handlers_;
  std::size_t delivered_ = 0;
  HRESULT end_result_;
};

}  // namespace tessiva::test
