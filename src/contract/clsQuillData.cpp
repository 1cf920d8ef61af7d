#include "QuillData/contract/clsQuillData.h"

// The interface class itself has no behaviour (its operations' empty bodies are in the
// header). Only the connection reference is kept.

namespace QuillData {

ConnectionPtr clsQuillData::Conn() const {
  return conn_;
}

void clsQuillData::Conn(const ConnectionPtr& vData) {
  conn_ = vData;
}

bool clsQuillData::OpenDB(const std::shared_ptr<cSP>&, const std::shared_ptr<cE>&,
                          const std::vector<Variant>&) {
  return false;
}

int32_t clsQuillData::BeginTrans() {
  return 0;
}

bool clsQuillData::CommitTrans() {
  return false;
}

void clsQuillData::RollbackTrans() {}

bool clsQuillData::InTransaction() const {
  return false;
}

}  // namespace QuillData
