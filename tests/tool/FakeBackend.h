#pragma once
// A backend that records every member it was called through, with the arguments it
// received, and answers with a fixed value per result type.
#include <functional>
#include <string>
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
  std::vector<Variant> connArgs;
  bool openResult = true;
  // Runs inside the member, after the arguments were recorded (to throw, report, ...).
  std::function<void()> during;

  bool OpenDB(const std::shared_ptr<cSP>& sp, const std::shared_ptr<cE>& e,
              const std::vector<Variant>& args) override {
    gSP = sp;
    gE = e;
    connArgs = args;
    if (args.size() > 0) gTraceFlag = CStrOrEmpty(args.back());
    if (during) during();
    return openResult;
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
  using I = const int32_t&;
  using S = const std::wstring&;
  using D = const double&;
  using B = const bool&;
  using R = RecordsAffected;
#define FAKE(ret, name, params, ...) \
  ret name params override {         \
    return Log(#name, __VA_ARGS__);  \
  }
#define FAKE_V(name, params, ...) \
  void name params override {     \
    Log(#name, __VA_ARGS__);      \
  }
  FAKE_V(DELFilter, (I a, I b, S c, S d, R r), a, b, c, d, r)
  FAKE(int32_t, DELGlobalContrFeatrPatterns, (I a, S b, I c, I d, R r), a, b, c, d, r)
  FAKE(int32_t, DELGlobalFaceContourLinks, (I a, I b, S c, R r), a, b, c, r)
  FAKE(int32_t, DELImprintAssignments, (I a, R r), a, r)
  FAKE(int32_t, DELLocalContrFeatrPatterns, (I a, S b, I c, R r), a, b, c, r)
  FAKE(int32_t, DELLocalFaceContourLinks, (I a, I b, S c, S d, S e, I f, R r), a, b, c, d, e, f, r)
  FAKE(int32_t, DELLocalMachiningLinks, (S a, S b, R r), a, b, r)
  FAKE(int32_t, DELMachining, (I a, R r), a, r)
  FAKE(int32_t, DELMachLink, (I a, R r), a, r)
  FAKE(int32_t, DELMachiningScenario, (I a, R r), a, r)
  FAKE(int32_t, DELMachRouting, (I a, R r), a, r)
  FAKE(int32_t, DELMachVariable, (I a, R r), a, r)
  FAKE(int32_t, DELMachVertical, (I a, R r), a, r)
  FAKE(CollectionPtr, GETFilterScenariosCol, (B a, R r), a, r)
  FAKE(CollectionPtr, GETTblConstructionScenarioTypes, (R r), r)
  FAKE(CollectionPtr, GETTblFilterScenarios, (R r), r)
  FAKE(CollectionPtr, GETTblGlobalContrFeatrLists, (R r), r)
  FAKE(CollectionPtr, GETTblGlobalContrFeatrPatterns, (R r), r)
  FAKE(CollectionPtr, GETTblGlobalFaceContourLinks, (R r), r)
  FAKE(CollectionPtr, GETTblGlobalImprintAssignments, (R r), r)
  FAKE(CollectionPtr, GETTblGlobalImprintDefinitions, (R r), r)
  FAKE(CollectionPtr, GETTblGlobalMachiningLinks, (R r), r)
  FAKE(CollectionPtr, GETTblGlobalRelationAssignments, (R r), r)
  FAKE(CollectionPtr, GETTblGlobalRelationshipPatterns, (R r), r)
  FAKE(CollectionPtr, GETTblLocalContrFeatrLists, (R r), r)
  FAKE(CollectionPtr, GETTblLocalDesigns, (R r), r)
  FAKE(CollectionPtr, GETTblLocalFaceContourLinks, (R r), r)
  FAKE(CollectionPtr, GETTblLocalMachiningLinks, (R r), r)
  FAKE(CollectionPtr, GETTblLocalRelationAssignments, (R r), r)
  FAKE(CollectionPtr, GETTblLocalRelationshipPatterns, (R r), r)
  FAKE(CollectionPtr, GETTblMachining, (R r), r)
  FAKE(CollectionPtr, GETTblMachRouting, (R r), r)
  FAKE(CollectionPtr, GETTblMachLink, (R r), r)
  FAKE(CollectionPtr, GETTblMachVariable, (R r), r)
  FAKE(CollectionPtr, GETTblMachVertical, (R r), r)
  FAKE(CollectionPtr, GETTblMFGPartTypes, (R r), r)
  FAKE(CollectionPtr, GETTblMFGScenario, (R r), r)
  FAKE(int32_t, INSERTConstructionScenario, (S a, S b, R r), a, b, r)
  FAKE(Variant, INSERTGlobalContrFeatrLists, (I a, S b, S c, S d, S e, S f), a, b, c, d, e, f)
  FAKE(Variant, INSERTGlobalContrFeatrPatterns, (I a, S b, I c, I d), a, b, c, d)
  FAKE(int32_t, INSERTCopyMachiningScenario, (I a, S b, R r), a, b, r)
  FAKE_V(INSERTFilter, (I a, I b, S c, S d, R r), a, b, c, d, r)
  FAKE_V(INSERTGlobalFaceContourLinks, (S a, S b, S c, S d, I e, S f, I g), a, b, c, d, e, f, g)
  FAKE(int32_t, INSERTImprintAssignments,
       (I a, S b, I c, I d, S e, S f, S g, S h, S i, S j, S k, S l, B m), a, b, c, d, e, f, g, h, i,
       j, k, l, m)
  FAKE(int32_t, INSERTMachining, (S a, S b, I c, D d, D e, D f, R r), a, b, c, d, e, f, r)
  FAKE(int32_t, INSERTMachLink, (I a, I b, S c, S d, B e, B f, R r), a, b, c, d, e, f, r)
  FAKE(int32_t, INSERTMachRouting, (S a, I b, I c, R r), a, b, c, r)
  FAKE(int32_t, INSERTMachVariable, (S a, S b, I c, B d, R r), a, b, c, d, r)
  FAKE(int32_t, INSERTMachVertical, (S a, S b, I c, R r), a, b, c, r)
  FAKE_V(INSERTMFGPartTypes, (I a, I b, S c, S d, S e, S f, S g, B h, R r), a, b, c, d, e, f, g, h,
         r)
  FAKE(int32_t, INSERTSELDesignIDFromLocalDesigns, (S a, S b, R r), a, b, r)
  FAKE(int32_t, INSERTSELLinkIDFromLocalMachiningLinks,
       (S a, S b, S c, D d, I e, I f, I g, S h, S i, S j, S k, R r), a, b, c, d, e, f, g, h, i, j,
       k, r)
  FAKE(int32_t, INSERTSELLinkIDFromMachiningLinks,
       (S a, S b, S c, D d, I e, I f, I g, S h, S i, R r), a, b, c, d, e, f, g, h, i, r)
  FAKE(int32_t, INSERTUPDATEGlobalImprintDefinitions,
       (I a, B b, I c, I d, I e, B f, I g, I h, I i, B j, I k, I l, I m, B n, I o, I p, I q, B s,
        R r),
       a, b, c, d, e, f, g, h, i, j, k, l, m, n, o, p, q, s, r)
  FAKE_V(INSERTUPDATEGlobalRelationAssignments,
         (I a, I b, I c, S d, S e, S f, S g, S h, S i, I j, S k, R r), a, b, c, d, e, f, g, h, i, j,
         k, r)
  FAKE_V(INSERTUPDATELocalRelationAssignments,
         (I a, I b, I c, S d, S e, S f, S g, S h, S i, I j, S k, S l, S m, I n, R r), a, b, c, d, e,
         f, g, h, i, j, k, l, m, n, r)
  FAKE(int32_t, UPDATEConstructionScenarioTypes, (I a, S b, S c, R r), a, b, c, r)
  FAKE_V(UPDATEGlobalFaceContourLinks, (S a, S b, S c, S d, I e, S f, I g), a, b, c, d, e, f, g)
  FAKE_V(UPDATEMachNameFromMachining, (S a, I b, I c, R r), a, b, c, r)
  FAKE_V(UPDATEMachVariable, (S a, S b, I c, I d, R r), a, b, c, d, r)
  FAKE_V(UPDATEMachLink, (I a, I b, I c, S d, S e, B f, B g, R r), a, b, c, d, e, f, g, r)
  FAKE_V(UPDATEParaMachRouting, (S a, S b, I c, R r), a, b, c, r)
  FAKE_V(UPDATEParaMachVertical, (S a, S b, I c, R r), a, b, c, r)
  FAKE_V(UPDATEPropertyRelationshipPatterns, (S a, S b, I c, S d, R r), a, b, c, d, r)
  FAKE_V(UPDATEVariableMachining, (I a, S b, D c, R r), a, b, c, r)
#undef FAKE
#undef FAKE_V
};

}  // namespace QuillData::testing
