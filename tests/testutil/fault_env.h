// FaultEnv: an Env that passes everything to another Env but can fail, or
// cut short, the k-th read, write or sync of the files it opens.
#ifndef BRELLOX_TESTS_TESTUTIL_FAULT_ENV_H_
#define BRELLOX_TESTS_TESTUTIL_FAULT_ENV_H_

#include <memory>
#include <string>

#include "platform/env.h"

namespace brellox {
namespace test {

class FaultEnv : public Env {
 public:
  enum class Op { kRead, kWrite, kSync };
  enum class Fault {
    kFail,  // the operation does nothing and reports an I/O error
    kCut,   // half the bytes are read or written, then an I/O error
  };

  explicit FaultEnv(Env* base) : base_(base) {}

  // Arms a fault for the `k`-th operation of kind `op` from now (1 = next).
  void Arm(Op op, int k, Fault fault = Fault::kFail);
  void Disarm() { armed_ = false; }
  // Whether the armed fault has been injected.
  bool fired() const { return fired_; }
  // Operations of each kind, and files opened with OpenExisting, since the
  // last Arm or ResetCounts.
  int count(Op op) const { return counts_[static_cast<int>(op)]; }
  int opens() const { return opens_; }
  void ResetCounts();

  Status OpenExisting(const std::string& path,
                      std::unique_ptr<RandomRWFile>* result) override;
  Status CreateReplacing(const std::string& path,
                         std::unique_ptr<RandomRWFile>* result) override;
  Status RenameReplacing(const std::string& from,
                         const std::string& to) override {
    return base_->RenameReplacing(from, to);
  }
  Status RemoveFile(const std::string& path) override {
    return base_->RemoveFile(path);
  }
  bool EntryExists(const std::string& path) override {
    return base_->EntryExists(path);
  }

  // Called by the files: whether operation `op` should fail now, and how.
  bool ShouldFail(Op op, Fault* fault);

 private:
  Status Wrap(Status s, std::unique_ptr<RandomRWFile>* result);

  Env* const base_;
  bool armed_ = false;
  bool fired_ = false;
  Op op_ = Op::kRead;
  int remaining_ = 0;
  Fault fault_ = Fault::kFail;
  int counts_[3] = {0, 0, 0};
  int opens_ = 0;
};

}  // namespace test
}  // namespace brellox

#endif  // BRELLOX_TESTS_TESTUTIL_FAULT_ENV_H_
