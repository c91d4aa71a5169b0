// A server-side caller built the way a customer builds one: against nothing
// but the installed headers and import library. Adds a user through the DLL
// and checks the name and password, by the C++ functions and by the C
// interface; exits 0 when every answer is right.
#include <brellox/brellox.h>
#include <brellox/brellox_c.h>

#include <cstdio>

int main() {
  char name[] = "operator";
  char password[] = "s3cret";
  char wrong[] = "S3cret";

  const SVR_LONG id = Svr_AddUser(name, password);
  const SVR_LONG accepted = Svr_CheckUser(name, password);
  const SVR_LONG rejected = Svr_CheckUser(name, wrong);
  const brellox_result c_accepted = brellox_check_user(nullptr, name, password);
  const brellox_result c_rejected = brellox_check_user(nullptr, name, wrong);
  std::printf(
      "Svr_AddUser -> %ld, Svr_CheckUser -> %ld (right password), "
      "%ld (wrong password)\n",
      static_cast<long>(id), static_cast<long>(accepted),
      static_cast<long>(rejected));
  std::printf("brellox_check_user -> %s, %s\n", brellox_result_name(c_accepted),
              brellox_result_name(c_rejected));
  return id == 1 && accepted == 1 && rejected == 0 &&
                 c_accepted == BRELLOX_OK && c_rejected == BRELLOX_REFUSED
             ? 0
             : 1;
}
