// BASE64, ISO-2022-JP mail header words and mailbox messages.
#include <gtest/gtest.h>

#include <string>

#include "text/encoding.h"
#include "text/mime.h"

using namespace morivel::text;

TEST(Base64, EncodesWithFillAndDecodesBack) {
  EXPECT_EQ(base64_encode(""), "");
  EXPECT_EQ(base64_encode("f"), "Zg==");
  EXPECT_EQ(base64_encode("fo"), "Zm8=");
  EXPECT_EQ(base64_encode("foo"), "Zm9v");
  EXPECT_EQ(base64_encode("foobar"), "Zm9vYmFy");
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  EXPECT_EQ(base64_decode(base64_encode(all)), all);
}

TEST(Base64, DecodingSkipsLineBreaksAndFillAndRejectsForeignBytes) {
  EXPECT_EQ(base64_decode("Zm9v\r\nYmFy"), "foobar");
  EXPECT_EQ(base64_decode("Zm8="), "fo");
  EXPECT_EQ(base64_decode("Zm8"), "fo");  // the fill is optional
  EXPECT_EQ(base64_decode("Z"), "");      // one character holds no whole byte
  EXPECT_EQ(base64_decode(""), "");
  EXPECT_FALSE(base64_decode("Zm9v!").has_value());
  EXPECT_FALSE(base64_decode("\x82\xA0").has_value());
}

TEST(MailHeader, EncodesDoubleByteRunsOnly) {
  const std::string encoded = mail_header_encode(sjis("件名abc"));
  EXPECT_EQ(encoded, "=?ISO-2022-JP?B?GyRCN29MPhsoSg==?=abc");
  EXPECT_EQ(mail_header_encode("plain"), "plain");
  // Half-width kana are single bytes and are copied.
  EXPECT_EQ(mail_header_encode(sjis("ｱ")), sjis("ｱ"));
  EXPECT_EQ(mail_header_encode(sjis("a表b表")),
            "a=?ISO-2022-JP?B?" + base64_encode("\x1B$B\x49\x3D\x1B(J") + "?=b=?ISO-2022-JP?B?" +
                base64_encode("\x1B$B\x49\x3D\x1B(J") + "?=");
}

TEST(MailHeader, DecodesWordsInAnyCaseAndCutsAtForeignBytes) {
  EXPECT_EQ(mail_header_decode("=?ISO-2022-JP?B?GyRCN29MPhsoSg==?=abc"), sjis("件名abc"));
  EXPECT_EQ(mail_header_decode("Re: =?iso-2022-jp?b?GyRCN29MPhsoSg==?="), sjis("Re: 件名"));
  // A word without its end runs to the end of the text.
  EXPECT_EQ(mail_header_decode("=?ISO-2022-JP?B?GyRCN29MPhsoSg=="), sjis("件名"));
  EXPECT_EQ(mail_header_decode("ok\x01tail"), "ok");
  EXPECT_EQ(mail_header_decode("Subject"), "Subject");
  EXPECT_FALSE(mail_header_decode("=?ISO-2022-JP?B?***?=").has_value());
}

TEST(Mailbox, CutsTheFirstMessageThroughItsDotLine) {
  const MailboxCut first = cut_mailbox_message("From: a\r\nbody\r\n.\r\nFrom: b\r\nx\r\n.\r\n");
  EXPECT_EQ(first.message, "From: a\r\nbody\r\n.\r\n");
  EXPECT_EQ(first.rest, "From: b\r\nx\r\n.\r\n");
  const MailboxCut second = cut_mailbox_message(first.rest);
  EXPECT_EQ(second.message, "From: b\r\nx\r\n.\r\n");
  EXPECT_EQ(second.rest, "");
  // A line that only starts with a dot does not end the message; without a dot line
  // everything is taken.
  const MailboxCut open = cut_mailbox_message("a\n..\n.x");
  EXPECT_EQ(open.message, "a\r\n..\r\n.x\r\n");
  EXPECT_EQ(open.rest, "");
  EXPECT_EQ(cut_mailbox_message("").message, "");
}
