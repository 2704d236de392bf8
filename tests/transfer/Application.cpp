#include <memory>

#include "tests/transfer/TransferFixture.h"

namespace {

class TApplicationEnvironment : public ::testing::Environment {
 public:
  void TearDown() override { App.reset(); }
  QApplication& Get() {
    if (!App) App = std::make_unique<QApplication>(Argc, Argv);
    return *App;
  }

 private:
  int Argc = 1;
  char Name[14] = "test_transfer";
  char* Argv[2] = {Name, nullptr};
  std::unique_ptr<QApplication> App;
};

TApplicationEnvironment* const Environment = [] {
  auto* environment = new TApplicationEnvironment;
  ::testing::AddGlobalTestEnvironment(environment);  // owned by Google Test from here
  return environment;
}();

}  // namespace

QApplication& TestApplication() { return Environment->Get(); }
