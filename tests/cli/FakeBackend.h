#pragma once
// A backend that records every member it was called through, with the arguments it
// received, and answers with a fixed value per result type.
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "QuillData/contract/Module.h"
#include "QuillData/contract/Records.h"
#include "QuillData/contract/clsQuillData.h"

namespace QuillData::testing {

class FakeBackend : public clsQuillData {
 public:
  static constexpr int32_t kInt = 4242;
  static constexpr int32_t kWrittenCount = 9;  // what the fake writes into lngRecordsAffected

  std::string called;
  std::vector<Variant> received;
  // Runs inside the member, after the arguments were recorded (to throw, report, ...).
  std::function<void()> during;

  bool OpenDB(const std::shared_ptr<cSP>& sp, const std::shared_ptr<cE>& e,
              const std::vector<Variant>& args) override {
    gSP = sp;
    gE = e;
    if (args.size() > 0) gTraceFlag = CStrOrEmpty(args.back());
    if (during) during();
    return true;
  }

  // Converts to every result type of the interface.
  struct Answer {
    operator int32_t() const { return kInt; }
    operator Variant() const { return Variant(L"variant answer"); }
    operator CollectionPtr() const {
      auto c = std::make_shared<Tessera::Collection>();
      auto r = std::make_shared<tblMachVariable>();
      r->MachVarID = 5;
      r->Name = L"Depth";
      c->Add(Variant(r), Variant(L"5"));
      return c;
    }
  };

  // The answer as an operation's result (nothing for a void one).
  template <class R>
  static R As(Answer answer) {
    if constexpr (std::is_void_v<R>) {
      return;
    } else {
      return answer;
    }
  }

  template <class... A>
  Answer Log(const char* name, const A&... args) {
    called = name;
    received.clear();
    (Take(args), ...);
    if (during) during();
    return {};
  }

 private:
  static std::wstring CStrOrEmpty(const Variant& v) {
    auto* s = v.Get<std::wstring>();
    return s ? *s : std::wstring();
  }
  void Take(const int32_t& v) { received.emplace_back(v); }
  void Take(const double& v) { received.emplace_back(v); }
  void Take(const bool& v) { received.emplace_back(v); }
  void Take(const std::wstring& v) { received.emplace_back(v); }
  void Take(const RecordsAffected& r) {
    received.emplace_back(*r);
    *r = kWrittenCount;
  }

 public:
  // Every operation records its name and arguments; the answer converts to its result.
#define QUILLDATA_UNPACK(...) __VA_ARGS__
#define QUILLDATA_OPERATION(Result, Name, Params, Args)   \
  Result Name Params override {                           \
    return As<Result>(Log(#Name, QUILLDATA_UNPACK Args)); \
  }
#include "QuillData/contract/Operations.inc"
#undef QUILLDATA_UNPACK
};

}  // namespace QuillData::testing
