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

TEST_F(ObjectModelTest, ProcedureCallSendsEveryParameterAsDeclared) {
  auto cmd = Procedure(L"P_I_Machining");
  cmd->Parameters()->Append(
      cmd->CreateParameter(L"@Name", adVarChar, adParamInput, 50, std::wstring(L"Bore")));
  cmd->Parameters()->Append(
      cmd->CreateParameter(L"@X", adNumeric, adParamInput, 0, Decimal::FromDouble(12.345)));
  cmd->Parameters()->Item(L"@x")->Precision(7);  // looked up by name, any case
  cmd->Parameters()->Item(L"@X")->NumericScale(2);
  cmd->Parameters()->Append(cmd->CreateParameter(L"@Flag", adBoolean, adParamInput, 1, int16_t{1}));
  rec->Answer(RecordingProvider::Returns(int32_t{77}));

  EXPECT_EQ(cmd->Execute(adExecuteNoRecords), nullptr);

  const CommandData& sent = rec->LastCommand();
  EXPECT_EQ(sent.text, L"P_I_Machining");
  EXPECT_EQ(sent.commandType, adCmdStoredProc);
  EXPECT_EQ(sent.options, adExecuteNoRecords);
  ASSERT_EQ(sent.parameters.size(), 4u);
  const auto& ret = sent.parameters[0];
  EXPECT_EQ(ret.name, L"@Return_Value");
  EXPECT_EQ(ret.type, adInteger);
  EXPECT_EQ(ret.direction, adParamReturnValue);
  EXPECT_EQ(ret.size, 8);
  EXPECT_EQ(ret.value, Variant(int32_t{-1}));  // the caller's seed is recorded...
  EXPECT_TRUE(ret.wire.IsEmpty());             // ...but never sent
  const auto& x = sent.parameters[2];
  EXPECT_EQ(x.precision, 7);
  EXPECT_EQ(x.numericScale, 2);
  EXPECT_EQ(x.wire, Variant(Dec(1235, 2)));  // 12.345 rounded half away from zero
  const auto& flag = sent.parameters[3];
  EXPECT_EQ(flag.value, Variant(int16_t{1}));  // as the caller gave it
  EXPECT_EQ(flag.wire, Variant(true));         // as it goes out: bit 1

  EXPECT_EQ(cmd->Parameters()->Item(L"@RETURN_VALUE")->Value(), Variant(int32_t{77}));
  EXPECT_EQ(cmd->Parameters()->Item(1)->Value(), Variant(std::wstring(L"Bore")));
}

TEST_F(ObjectModelTest, ValuesAreConvertedToTheParameterType) {
  EXPECT_EQ(Sent(adInteger, 8, std::wstring(L"42")).wire, Variant(int32_t{42}));
  EXPECT_EQ(Sent(adInteger, 8, 90.5).wire, Variant(int32_t{90}));  // half to even
  EXPECT_EQ(Sent(adInteger, 8, 91.5).wire, Variant(int32_t{92}));
  EXPECT_EQ(Sent(adVarChar, 10, int32_t{7}).wire, Variant(std::wstring(L"7")));
  EXPECT_EQ(Sent(adBoolean, 1, false).wire, Variant(false));
  EXPECT_TRUE(Sent(adVarChar, 10, Variant()).wire.IsNull());
  EXPECT_TRUE(Sent(adInteger, 8, Variant::Null()).wire.IsNull());
  // Long text of unlimited size (-1) is sent whole.
  const std::wstring longText(100000, L'x');
  EXPECT_EQ(Sent(adLongVarWChar, -1, longText).wire, Variant(longText));
}

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

TEST_F(ObjectModelTest, ParametersCollection) {
  auto cmd = Procedure(L"P_X");
  auto params = cmd->Parameters();
  params->Append(cmd->CreateParameter(L"@A", adInteger, adParamInput, 8, int32_t{1}));
  EXPECT_EQ(params->Count(), 2);
  EXPECT_EQ(params->Item(L"@a"), params->Item(1));
  EXPECT_QUILL_ERROR(params->Item(L"@B"), adErrItemNotFound);
  EXPECT_QUILL_ERROR(params->Item(2), adErrItemNotFound);
  EXPECT_QUILL_ERROR(params->Item(-1), adErrItemNotFound);
  EXPECT_QUILL_ERROR(params->Append(cmd->CreateParameter(L"@A", adInteger)), adErrInvalidArgument);
  EXPECT_QUILL_ERROR(params->Append(nullptr), ErrNo::ObjectNotSet);
  EXPECT_QUILL_ERROR(cmd->CreateParameter(L"@C", 9999), adErrInvalidArgument);
  EXPECT_QUILL_ERROR(cmd->CreateParameter(L"@C", adInteger, 7), adErrInvalidArgument);
  params->Delete(L"@A");
  EXPECT_EQ(params->Count(), 1);
  // Two return values cannot both take the first marker.
  params->Append(cmd->CreateParameter(L"@R2", adInteger, adParamReturnValue));
  EXPECT_QUILL_ERROR(cmd->Execute(adExecuteNoRecords), adErrInvalidParamInfo);
}

TEST_F(ObjectModelTest, ConnectionLifecycle) {
  ASSERT_EQ(rec->Calls().size(), 1u);
  EXPECT_EQ(rec->Calls()[0].kind, RecordedCall::Kind::Open);
  EXPECT_EQ(rec->Calls()[0].connectionString, L"Provider=Recording;Data Source=nowhere");
  EXPECT_EQ(conn->State(), adStateOpen);
  EXPECT_QUILL_ERROR(conn->Open(), adErrObjectOpen);
  EXPECT_QUILL_ERROR(conn->ConnectionString(L"x"), adErrObjectOpen);
  conn->Close();
  EXPECT_EQ(conn->State(), adStateClosed);
  EXPECT_EQ(rec->Calls().back().kind, RecordedCall::Kind::Close);
  EXPECT_QUILL_ERROR(conn->Close(), adErrObjectClosed);
  EXPECT_QUILL_ERROR(conn->Execute(L"SELECT 1"), adErrInvalidConnection);
  auto cmd = Procedure(L"P_X");
  EXPECT_QUILL_ERROR(cmd->Execute(), adErrInvalidConnection);
  auto detached = std::make_shared<Command>();
  detached->CommandText(L"SELECT 1");
  EXPECT_QUILL_ERROR(detached->Execute(), adErrInvalidConnection);

  // Reopening with the property set earlier, credentials passed through.
  conn->Open(L"", L"sa", L"secret");
  EXPECT_EQ(rec->Calls().back().connectionString, L"Provider=Recording;Data Source=nowhere");
  EXPECT_EQ(rec->Calls().back().userId, L"sa");
  EXPECT_EQ(rec->Calls().back().password, L"secret");

  rec->FailOpen(QuillError(adErrDataSource, L"src", L"login failed"));
  auto other = Connection::WithProvider(rec);
  auto e = EXPECT_QUILL_ERROR(other->Open(L"x"), adErrDataSource);
  EXPECT_EQ(e.Description(), L"login failed");
  EXPECT_EQ(other->State(), adStateClosed);
}

TEST_F(ObjectModelTest, RegisteredProviderIsChosenByTheConnectionString) {
  RegisterProvider(L"Recording", rec);
  auto plain = std::make_shared<Connection>();
  plain->ConnectionString(L"provider=RECORDING;Initial Catalog=db");
  plain->Open();
  EXPECT_EQ(rec->Calls().back().connectionString, L"provider=RECORDING;Initial Catalog=db");
  plain->Execute(L"DELETE FROM t", adExecuteNoRecords);
  EXPECT_EQ(rec->LastCommand().text, L"DELETE FROM t");
  RegisterProvider(L"Recording", nullptr);

  // Unregistered, the name means nothing to the ODBC provider.
  auto again = std::make_shared<Connection>();
  EXPECT_QUILL_ERROR(again->Open(L"Provider=Recording"), adErrProviderNotFound);
}

TEST_F(ObjectModelTest, ScriptedErrorsReachTheCallerUnchanged) {
  rec->Answer(RecordingProvider::Fails(
      QuillError(adErrDataSource, L"QuillData.ado (test)", L"no such procedure (SQLSTATE 42883)")));
  auto cmd = Procedure(L"P_Missing");
  auto e = EXPECT_QUILL_ERROR(cmd->Execute(adExecuteNoRecords), adErrDataSource);
  EXPECT_EQ(e.Source(), L"QuillData.ado (test)");
  EXPECT_EQ(e.Description(), L"no such procedure (SQLSTATE 42883)");
  EXPECT_EQ(rec->LastCommand().text, L"P_Missing");  // it was sent
  // The return value keeps its seed when nothing came back.
  EXPECT_EQ(cmd->Parameters()->Item(0)->Value(), Variant(int32_t{-1}));
}

RowSet ThreeRows() {
  RowSet rows;
  rows.columns = {{L"ID", adInteger}, {L"Name", adVarWChar}};
  rows.rows = {{int32_t{1}, std::wstring(L"one")},
               {int32_t{2}, Variant::Null()},
               {int32_t{3}, std::wstring(L"three")}};
  return rows;
}

TEST_F(ObjectModelTest, StaticRecordsetMovesBothWays) {
  rec->AnswerFor(L"SELECT * FROM T;", RecordingProvider::Rows(ThreeRows()));
  auto cmd = std::make_shared<Command>();
  cmd->ActiveConnection(conn);
  cmd->CommandText(L"SELECT * FROM T;");
  cmd->CommandType(adCmdText);
  auto rs = std::make_shared<Recordset>();
  rs->CursorType(adOpenForwardOnly);
  rs->CursorLocation(adUseClient);
  rs->LockType(adLockOptimistic);
  rs->Open(cmd, nullptr, adOpenUnspecified, adLockUnspecified, adOptionUnspecified);
  EXPECT_EQ(rs->State(), adStateOpen);
  EXPECT_EQ(rs->CursorType(), adOpenStatic);
  EXPECT_EQ(rs->LockType(), adLockOptimistic);
  EXPECT_EQ(rec->LastCommand().commandType, adCmdText);

  EXPECT_EQ(rs->RecordCount(), 3);
  EXPECT_FALSE(rs->Eof());
  EXPECT_FALSE(rs->Bof());
  auto name = rs->Fields()->Item(L"name");  // any case; follows the current row
  EXPECT_EQ(name->Name(), L"Name");
  EXPECT_EQ(rs->Fields()->Count(), 2);
  EXPECT_EQ(rs->Fields()->Item(0)->Value(), Variant(int32_t{1}));
  EXPECT_EQ(name->Value(), Variant(std::wstring(L"one")));
  rs->MoveNext();
  EXPECT_TRUE(name->Value().IsNull());
  rs->MoveLast();
  EXPECT_EQ(name->Value(), Variant(std::wstring(L"three")));
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
  EXPECT_QUILL_ERROR(name->Value(), adErrNoCurrentRecord);
  EXPECT_QUILL_ERROR(rs->MoveNext(), adErrNoCurrentRecord);
  rs->MoveFirst();
  EXPECT_EQ(rs->Fields()->Item(L"ID")->Value(), Variant(int32_t{1}));
  rs->MovePrevious();
  EXPECT_TRUE(rs->Bof());
  EXPECT_FALSE(rs->Eof());
  EXPECT_QUILL_ERROR(rs->MovePrevious(), adErrNoCurrentRecord);
  EXPECT_QUILL_ERROR(rs->Fields()->Item(L"Missing"), adErrItemNotFound);
  EXPECT_QUILL_ERROR(rs->CursorType(adOpenStatic), adErrObjectOpen);
  EXPECT_QUILL_ERROR(rs->Open(cmd), adErrObjectOpen);

  rs->Close();
  EXPECT_EQ(rs->State(), adStateClosed);
  EXPECT_QUILL_ERROR(rs->Eof(), adErrObjectClosed);
  EXPECT_QUILL_ERROR(name->Value(), adErrObjectClosed);
  EXPECT_QUILL_ERROR(rs->Close(), adErrObjectClosed);

  // Reopened by SQL text on the connection, through the standing answer.
  rs->Open(L"SELECT * FROM T;", conn);
  EXPECT_EQ(rs->RecordCount(), 3);
}

TEST_F(ObjectModelTest, EmptyAndRowlessResults) {
  RowSet none;
  none.columns = {{L"A", adInteger}};
  rec->Answer(RecordingProvider::Rows(none));
  auto rs = conn->Execute(L"SELECT A FROM T WHERE 1=0");
  ASSERT_NE(rs, nullptr);
  EXPECT_EQ(rs->State(), adStateOpen);
  EXPECT_TRUE(rs->Eof());
  EXPECT_TRUE(rs->Bof());
  EXPECT_EQ(rs->RecordCount(), 0);
  EXPECT_QUILL_ERROR(rs->MoveFirst(), adErrNoCurrentRecord);

  // A command without rows gives a closed recordset, not an error.
  auto closed = conn->Execute(L"UPDATE T SET A = 1");
  ASSERT_NE(closed, nullptr);
  EXPECT_EQ(closed->State(), adStateClosed);
  EXPECT_QUILL_ERROR(closed->RecordCount(), adErrObjectClosed);

  // Options can name the command type.
  conn->Execute(L"P_Y", adCmdStoredProc | adExecuteNoRecords);
  EXPECT_EQ(rec->LastCommand().commandType, adCmdStoredProc);

  // Opening on a command and a connection at once is refused.
  auto cmd = std::make_shared<Command>();
  cmd->ActiveConnection(conn);
  cmd->CommandText(L"SELECT 1");
  auto refused = std::make_shared<Recordset>();
  EXPECT_QUILL_ERROR(refused->Open(cmd, conn), adErrInvalidArgument);

  // A scripted row of the wrong width is caught rather than read past.
  RowSet bad;
  bad.columns = {{L"A", adInteger}, {L"B", adInteger}};
  bad.rows = {{int32_t{1}}};
  rec->Answer(RecordingProvider::Rows(bad));
  EXPECT_QUILL_ERROR(conn->Execute(L"SELECT A, B FROM T"), adErrInvalidArgument);
}

TEST_F(ObjectModelTest, OutputParametersTakeTheirScriptedValues) {
  auto cmd = Procedure(L"P_Out");
  cmd->Parameters()->Append(cmd->CreateParameter(L"@Out", adVarChar, adParamOutput, 20));
  cmd->Parameters()->Append(
      cmd->CreateParameter(L"@Other", adInteger, adParamInputOutput, 0, int32_t{5}));
  ScriptedAnswer answer = RecordingProvider::Returns(int32_t{0});
  answer.outputs = {{L"@OUT", std::wstring(L"done")}};
  rec->Answer(answer);
  cmd->Execute(adExecuteNoRecords);
  EXPECT_EQ(cmd->Parameters()->Item(L"@Out")->Value(), Variant(std::wstring(L"done")));
  EXPECT_TRUE(cmd->Parameters()->Item(L"@Other")->Value().IsNull());
  EXPECT_EQ(rec->LastCommand().parameters[2].wire, Variant(int32_t{5}));  // input-output is sent
}

}  // namespace
}  // namespace QuillData::ado
