#pragma once
// A server backend opened on the recording provider, with a recording trace and an error
// companion that leaves every failed operation.
#include <gtest/gtest.h>

#include <memory>

#include "QuillData/ado/Provider.h"
#include "QuillData/ado/RecordingProvider.h"
#include "QuillData/contract/Companions.h"
#include "QuillData/contract/Module.h"
#include "QuillData/mssql/clsQuillData_MSSQL.h"
#include "ado/AdoTestSupport.h"

namespace QuillData::test {

class RecordingBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    recorder = std::make_shared<ado::RecordingProvider>();
    ado::RegisterProvider(L"Recording", recorder);
    trace = std::make_shared<StreamTrace>();
    errors = std::make_shared<PolicyErrorHandler>(PolicyErrorHandler::Policy::Leave);
    backend = std::make_shared<clsQuillData_MSSQL>();
    ASSERT_TRUE(backend->OpenDB(trace, errors, {L"Provider=Recording", L"1"}));
    recorder->Clear();
    trace->Clear();
  }

  void TearDown() override {
    backend.reset();
    ado::RegisterProvider(L"Recording", nullptr);
    gSP.reset();
    gE.reset();
    gTraceFlag.clear();
  }

  // The backend through the interface, as a host holds it.
  clsQuillData& Db() { return *backend; }

  std::shared_ptr<ado::RecordingProvider> recorder;
  std::shared_ptr<StreamTrace> trace;
  std::shared_ptr<PolicyErrorHandler> errors;
  std::shared_ptr<clsQuillData_MSSQL> backend;
};

}  // namespace QuillData::test
