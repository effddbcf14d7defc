#include "cloud/cloud_authorization.h"

#include <gtest/gtest.h>

#include <string>

namespace nuvexa::cloud {
namespace {

TEST(CloudAuthorization, PkceChallengeAndTheAddress) {
  // the example of RFC 7636, appendix B
  EXPECT_EQ(CodeChallenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"), "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
  const std::string a = NewCodeVerifier(), b = NewCodeVerifier();
  EXPECT_EQ(a.size(), 64u);
  EXPECT_NE(a, b);
  EXPECT_EQ(a.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~"), std::string::npos);
  EXPECT_EQ(AuthorizationAddress("k y", "C_1"),
            "https://www.dropbox.com/oauth2/authorize?client_id=k%20y&response_type=code&token_access_type=offline"
            "&code_challenge=C_1&code_challenge_method=S256");
}

TEST(CloudAuthorization, TheVariableIsSetAndEveryOtherLineStays) {
  struct Case {
    const char* why;
    std::string before;
    std::string after;
  } const cases[] = {
      {"a new file", "", "V=new\n"},
      {"added after the others", "A=1\n# note\n", "A=1\n# note\nV=new\n"},
      {"a last line without its break", "A=1", "A=1\nV=new\n"},
      {"replaced where it stands, its line break kept", "A=1\r\nV=old\r\nB=2\r\n", "A=1\r\nV=new\r\nB=2\r\n"},
      {"a second setting dropped, an export form taken", "export V=old\nA=1\nV=older\n", "V=new\nA=1\n"},
      {"a longer name is another variable", "VV=1\nV_2=3\n", "VV=1\nV_2=3\nV=new\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(WithEnvironmentVariable(c.before, "V", "new"), c.after) << c.why;
}

}  // namespace
}  // namespace nuvexa::cloud
