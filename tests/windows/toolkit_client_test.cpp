// The toolkit client against the fake component, in this process: values in both directions that
// the programs' runs do not reach, the release of every object, a failed call, a component that
// does not exist, and the apartment guard.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/com.h"
#include "platform/win32/toolkit_client.h"
#include "tests/windows/support/wine_rig.h"

namespace kartiva::win32 {
namespace {

using wintest::FakeToolkitFiles;
using Lines = std::vector<std::string>;

class ToolkitClient : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(wintest::RegisterFakeToolkit(), S_OK); }

  std::shared_ptr<ToolkitSession> CreateSession() {
    return components.CreateToolkit(kToolkitProgId);
  }

  ComApartment apartment;
  FakeToolkitFiles files;
  ComComponents components;
};

std::string Result(const std::string& out, ErrorCode code) {
  return out + " | " + std::to_string(code);
}

struct OperationCase {
  const char* what;
  const char* script;
  // Makes the calls; gives the out value and the code, as Result() writes them.
  std::function<std::string(ToolkitSession&)> call;
  std::string result;
  Lines calls;  // after "new Session"
};

TEST_F(ToolkitClient, PassesValuesBothWaysAndReleasesEveryObject) {
  // The programs' runs show every operation's arguments; these are the values they do not reach.
  const OperationCase cases[] = {
      {"a name outside ASCII and a negative code come back",
       "Session.QueryActiveBasket.out=B\xC3\xBCro \xE2\x80\x93 \xF0\x9F\x93\x81\n"
       "Session.QueryActiveBasket.code=-1",
       [](ToolkitSession& s) {
         std::string n = "old";
         ErrorCode e = 0;
         s.QueryActiveBasket(n, e);
         return Result(n, e);
       },
       "B\xC3\xBCro \xE2\x80\x93 \xF0\x9F\x93\x81 | -1",
       {"Session.QueryActiveBasket(&Variant, &Long)"}},
      {"a false flag comes back",
       "Session.IsClientRunning.out=False\nSession.IsClientRunning.code=3",
       [](ToolkitSession& s) {
         bool r = true;
         ErrorCode e = 0;
         s.IsClientRunning(r, e);
         return Result(r ? "true" : "false", e);
       },
       "false | 3",
       {"Session.IsClientRunning(&Variant, &Long)"}},
      {"a false flag goes in",
       "Archive.StoreFile.code=-2147467259",
       [](ToolkitSession& s) {
         std::shared_ptr<ToolkitArchive> archive;
         ErrorCode e = 0;
         s.OpenArchive("Allgemein", archive, e);
         Require(archive, "TKArchive").StoreFile("C:\\K\\1.001", 1, false, true, "0,DOC", e);
         return Result("", e);
       },
       " | -2147467259",
       {R"(Session.OpenArchive("Allgemein", &Variant, &Long))", "new Archive",
        R"(Archive.StoreFile("C:\K\1.001", 1, False, True, "0,DOC", &Long))", "del Archive"}},
  };

  for (const OperationCase& c : cases) {
    SCOPED_TRACE(c.what);
    FakeToolkitFiles fresh;
    fresh.Script(c.script);
    {
      std::shared_ptr<ToolkitSession> session = CreateSession();
      EXPECT_EQ(c.call(*session), c.result);
    }
    Lines expected{"new Session"};
    expected.insert(expected.end(), c.calls.begin(), c.calls.end());
    expected.push_back("del Session");
    EXPECT_EQ(fresh.Log(), expected);
  }
}

TEST_F(ToolkitClient, AFailedCallIsAnOutrightFailureNamingTheOperationAndLeavesTheVariables) {
  std::shared_ptr<ToolkitSession> session = CreateSession();
  std::shared_ptr<ToolkitBasket> basket;
  ErrorCode error = 0;
  session->OpenBasket("Eingang", basket, error);
  ASSERT_NE(basket, nullptr);
  const ToolkitBasket* opened = basket.get();
  error = 42;

  files.Script("Session.OpenBasket.fail=80045005 Basket store offline");
  try {
    session->OpenBasket("Eingang", basket, error);
    ADD_FAILURE() << "no failure";
  } catch (const OutrightFailure& failure) {
    EXPECT_EQ(static_cast<std::uint32_t>(failure.code()), 0x80045005u);
    EXPECT_STREQ(failure.what(),
                 "ToolkitSession.OpenBasket failed (HRESULT 80045005): Basket store offline");
  }
  EXPECT_EQ(basket.get(), opened);
  EXPECT_EQ(error, 42);
}

TEST_F(ToolkitClient, AnUnknownComponentCannotBeCreated) {
  try {
    components.CreateToolkit("KV5ToolKit.Missing");
    ADD_FAILURE() << "no failure";
  } catch (const OutrightFailure& failure) {
    EXPECT_EQ(failure.code(), kErrCannotCreateComponent);
    const std::string what = failure.what();
    EXPECT_NE(what.find("KV5ToolKit.Missing (CLSIDFromProgID, HRESULT 800401F3"), std::string::npos)
        << what;
    // A code without the system's text (Wine has none for this one) is not followed by ": ".
    EXPECT_EQ(what.find(": )"), std::string::npos) << what;
  }
}

// A thread that is already in the multithreaded apartment keeps it: the guard neither fails nor
// uninitialises what it did not initialise.
TEST(ComApartmentGuard, LeavesAnApartmentItDidNotEnter) {
  HRESULT again = E_FAIL;
  std::thread([&] {
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return;
    { ComApartment apartment; }
    again = CoInitializeEx(nullptr, COINIT_MULTITHREADED);  // S_FALSE: still initialised
    if (SUCCEEDED(again)) CoUninitialize();
    CoUninitialize();
  }).join();
  EXPECT_EQ(again, S_FALSE);
}

}  // namespace
}  // namespace kartiva::win32
