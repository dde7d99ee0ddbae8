#include "test_application.h"

namespace testing_support {

tk::TApplication& TestApplication() {
  static tk::TApplication* application = [] {
    auto* app = new tk::TApplication();  // lives until the process ends, as in the program
    app->Initialize();
    return app;
  }();
  return *application;
}

}  // namespace testing_support
