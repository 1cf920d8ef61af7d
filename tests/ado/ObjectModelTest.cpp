// The object model on the recording provider: what a command sends, what comes back, and
// how a static recordset moves.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "QuillData/ado/Ado.h"
#include "QuillData/ado/RecordingProvider.h"
#include "ado/AdoTestSupport.h"

namespace QuillData::ado {
namespace {

Decimal Dec(__int128 mantissa, uint8_t scale) {
  Decimal d;
  d.mantissa = mantissa;
  d.scale = scale;
  return d;
}

class ObjectModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    conn = Connection::WithProvider(rec);
    conn->Open(L"Provider=Recording;Data Source=nowhere");
  }

  // A stored-procedure command with the usual return value, seeded with the caller's -1.
  CommandPtr Procedure(const std::wstring& name) {
    auto cmd = std::make_shared<Command>();
    cmd->ActiveConnection(conn);
    cmd->CommandText(name);
    cmd->CommandType(adCmdStoredProc);
    cmd->Parameters()->Append(
        cmd->CreateParameter(L"@Return_Value", adInteger, adParamReturnValue, 8, int32_t{-1}));
    return cmd;
  }

  // Executes a one-parameter procedure and returns what the parameter sent.
  ParameterData Sent(int32_t type, int32_t size, const Variant& value, uint8_t precision = 0,
                     uint8_t scale = 0) {
    auto cmd = Procedure(L"P_X");
    auto p = cmd->CreateParameter(L"@V", type, adParamInput, size, value);
    cmd->Parameters()->Append(p);
    p->Precision(precision);
    p->NumericScale(scale);
    cmd->Execute(adExecuteNoRecords);
    return rec->LastCommand().parameters.at(1);
  }

  std::shared_ptr<RecordingProvider> rec = std::make_shared<RecordingProvider>();
  ConnectionPtr conn;
};

TEST_F(ObjectModelTest, DecimalsAreRoundedHalfAwayFromZeroToTheirScale) {
  EXPECT_EQ(Sent(adNumeric, 0, Dec(125, 3), 7, 2).wire, Variant(Dec(13, 2)));     // 0.125
  EXPECT_EQ(Sent(adNumeric, 0, Dec(-125, 3), 7, 2).wire, Variant(Dec(-13, 2)));   // -0.125
  EXPECT_EQ(Sent(adNumeric, 0, Dec(124999, 6), 7, 2).wire, Variant(Dec(12, 2)));  // 0.124999
  EXPECT_EQ(Sent(adNumeric, 0, Dec(25, 1), 5, 0).wire, Variant(Dec(3, 0)));
  EXPECT_EQ(Sent(adNumeric, 0, 1.5, 7, 2).wire, Variant(Dec(150, 2)));  // widened to the scale
  EXPECT_EQ(Sent(adNumeric, 0, Dec(9999999, 2), 7, 2).wire, Variant(Dec(9999999, 2)));
}

TEST_F(ObjectModelTest, BadValuesFailAtExecuteAndNothingIsSent) {
  auto attempt = [&](int32_t type, int32_t size, const Variant& value, uint8_t precision = 0,
                     uint8_t scale = 0) -> QuillError {
    rec->Clear();
    auto cmd = Procedure(L"P_X");
    auto p = cmd->CreateParameter(L"@V", type, adParamInput, size, value);
    cmd->Parameters()->Append(p);
    p->Precision(precision);
    p->NumericScale(scale);
    try {
      cmd->Execute(adExecuteNoRecords);
    } catch (const QuillError& e) {
      EXPECT_TRUE(rec->Commands().empty()) << "sent despite error " << e.Number();
      return e;
    }
    ADD_FAILURE() << "no error for type " << type;
    return QuillError(0, L"", L"");
  };
  auto tooLong = attempt(adVarChar, 5, std::wstring(L"abcdef"));
  EXPECT_EQ(tooLong.Number(), adErrDataOverflow);
  EXPECT_NE(tooLong.Description().find(L"@V"), std::wstring::npos);
  EXPECT_NE(tooLong.Description().find(L"size 5"), std::wstring::npos);
  EXPECT_EQ(attempt(adNumeric, 0, std::numeric_limits<double>::quiet_NaN(), 7, 2).Number(),
            adErrDataConversion);
  EXPECT_EQ(attempt(adNumeric, 0, std::numeric_limits<double>::infinity(), 7, 2).Number(),
            adErrDataConversion);
  EXPECT_EQ(attempt(adNumeric, 0, 123456.78, 7, 2).Number(), adErrDataOverflow);
  // Rounding can carry the value over its precision: 99999.995 -> 100000.00.
  EXPECT_EQ(attempt(adNumeric, 0, Dec(99999995, 3), 7, 2).Number(), adErrDataOverflow);
  EXPECT_EQ(attempt(adNumeric, 0, 1.0, 0, 0).Number(), adErrInvalidParamInfo);  // no precision
  EXPECT_EQ(attempt(adInteger, 8, std::wstring(L"abc")).Number(), ErrNo::TypeMismatch);
  EXPECT_EQ(attempt(adInteger, 8, 3e10).Number(), ErrNo::Overflow);
  EXPECT_EQ(attempt(adVarBinary, 10, std::wstring(L"text")).Number(), ErrNo::TypeMismatch);
}

}  // namespace
}  // namespace QuillData::ado
