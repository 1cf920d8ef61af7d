// The Windows build has no libpq: it reaches PostgreSQL through the system's ODBC. The name
// "libpq" (and a postgresql:// URI) still finds a provider, which says so when it is opened.
#include "QuillData/ado/Provider.h"
#include "QuillData/contract/Error.h"

namespace QuillData::ado {

namespace {

class AbsentLibpqProvider : public Provider {
 public:
  std::unique_ptr<Session> Open(const std::wstring&, const std::wstring&,
                                const std::wstring&) override {
    throw QuillError(ErrNo::CannotCreateObject, L"libpq",
                     L"This build has no libpq provider: reach PostgreSQL through ODBC "
                     L"(Driver={PostgreSQL Unicode};Server=...;Database=...;UID=...;PWD=...).")
        .WithKind(ErrorKind::Unsupported);
  }
};

}  // namespace

std::shared_ptr<Provider> MakeLibpqProvider() {
  return std::make_shared<AbsentLibpqProvider>();
}

}  // namespace QuillData::ado
