// The transfer library is opened at the first transfer: its table must be complete, and a handle
// made through it must work like one made by a program linked to the library.
#include <gtest/gtest.h>

#include "net/curl_transfer.h"

namespace morivel::net {
namespace {

TEST(TransferLibrary, EveryFunctionTheCommandsUseIsInTheInstalledLibrary) {
  EXPECT_EQ(transfer_library_problem(), "");
  EXPECT_EQ(CurlLibrary::Problem(), "");
}

TEST(TransferLibrary, HandlesMadeThroughTheTableTakeOptionsAndLists) {
  EasyHandle easy = new_easy();
  ASSERT_TRUE(easy);
  EXPECT_EQ(easy_setopt(easy.get(), CURLOPT_URL, "http://127.0.0.1:9/"), CURLE_OK);
  EXPECT_EQ(easy_setopt(easy.get(), CURLOPT_TIMEOUT_MS, 100L), CURLE_OK);
  // An option the library does not know is its error, not ours.
  EXPECT_EQ(easy_setopt(easy.get(), static_cast<CURLoption>(999), 1L), CURLE_UNKNOWN_OPTION);
  Slist list = make_slist({"NOOP", "PWD"});
  ASSERT_TRUE(list);
  EXPECT_STREQ(list->data, "NOOP");
  ASSERT_NE(list->next, nullptr);
  EXPECT_STREQ(list->next->data, "PWD");
  EXPECT_STREQ(curl().easy_strerror(CURLE_OK), "No error");
}

}  // namespace
}  // namespace morivel::net
