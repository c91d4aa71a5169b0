#include "tests/testutil/fault_env.h"

namespace brellox {
namespace test {
namespace {

class FaultFile : public RandomRWFile {
 public:
  FaultFile(FaultEnv* env, std::unique_ptr<RandomRWFile> base)
      : env_(env), base_(std::move(base)) {}

  Status Read(std::uint64_t offset, std::size_t n, void* dst) override {
    FaultEnv::Fault fault;
    if (!env_->ShouldFail(FaultEnv::Op::kRead, &fault)) {
      return base_->Read(offset, n, dst);
    }
    if (fault == FaultEnv::Fault::kCut) base_->Read(offset, n / 2, dst);
    return Status::IOError("injected read fault");
  }

  Status Write(std::uint64_t offset, const void* src, std::size_t n) override {
    FaultEnv::Fault fault;
    if (!env_->ShouldFail(FaultEnv::Op::kWrite, &fault)) {
      return base_->Write(offset, src, n);
    }
    if (fault == FaultEnv::Fault::kCut) base_->Write(offset, src, n / 2);
    return Status::IOError("injected write fault");
  }

  Status Size(std::uint64_t* size) override { return base_->Size(size); }

  Status Sync() override {
    FaultEnv::Fault fault;
    if (env_->ShouldFail(FaultEnv::Op::kSync, &fault)) {
      return Status::IOError("injected sync fault");
    }
    return base_->Sync();
  }

 private:
  FaultEnv* const env_;
  std::unique_ptr<RandomRWFile> base_;
};

}  // namespace

void FaultEnv::Arm(Op op, int k, Fault fault) {
  armed_ = true;
  fired_ = false;
  op_ = op;
  remaining_ = k;
  fault_ = fault;
  ResetCounts();
}

void FaultEnv::ResetCounts() {
  counts_[0] = counts_[1] = counts_[2] = 0;
  opens_ = 0;
}

bool FaultEnv::ShouldFail(Op op, Fault* fault) {
  ++counts_[static_cast<int>(op)];
  if (!armed_ || op != op_ || --remaining_ != 0) return false;
  armed_ = false;
  fired_ = true;
  *fault = fault_;
  return true;
}

Status FaultEnv::Wrap(Status s, std::unique_ptr<RandomRWFile>* result) {
  if (s.ok()) result->reset(new FaultFile(this, std::move(*result)));
  return s;
}

Status FaultEnv::OpenExisting(const std::string& path,
                              std::unique_ptr<RandomRWFile>* result) {
  ++opens_;
  return Wrap(base_->OpenExisting(path, result), result);
}

Status FaultEnv::CreateReplacing(const std::string& path,
                                 std::unique_ptr<RandomRWFile>* result) {
  return Wrap(base_->CreateReplacing(path, result), result);
}

}  // namespace test
}  // namespace brellox
