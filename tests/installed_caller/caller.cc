// A server-side caller built the way a customer builds one: against nothing
// but the installed header and import library. Adds a user through the DLL
// and checks the name and password; exits 0 when every answer is right.
#include <brellox/brellox.h>

#include <cstdio>

int main() {
  char name[] = "operator";
  char password[] = "s3cret";
  char wrong[] = "S3cret";

  const SVR_LONG id = Svr_AddUser(name, password);
  const SVR_LONG accepted = Svr_CheckUser(name, password);
  const SVR_LONG rejected = Svr_CheckUser(name, wrong);
  std::printf(
      "Svr_AddUser -> %ld, Svr_CheckUser -> %ld (right password), "
      "%ld (wrong password)\n",
      static_cast<long>(id), static_cast<long>(accepted),
      static_cast<long>(rejected));
  return id == 1 && accepted == 1 && rejected == 0 ? 0 : 1;
}
