// Composing and reading mail, and how the TCP server tells its clients apart.
#include <gtest/gtest.h>

#include "net/mail_message.h"
#include "net/tcp.h"
#include "text/encoding.h"
#include "text/mime.h"

namespace morivel::net {
namespace {

using text::sjis;

OutgoingMail sample() {
  OutgoingMail mail;
  mail.from = "me@example.test";
  mail.to = {"a@example.test"};
  mail.subject = sjis("件名");
  mail.body = sjis("本文\n二行目");
  mail.boundary = "BOUNDARY";
  mail.date = "Tue, 08 Dec 2026 09:05:07 +0900";
  return mail;
}

TEST(MailMessage, HeaderTextQuotesBecomeFullWidthAndDecodeBack) {
  std::string encoded = encode_header_text(sjis("森 \"太郎\""));
  EXPECT_EQ(encoded.find('"'), std::string::npos);
  EXPECT_EQ(text::mail_header_decode(encoded).value_or(""), sjis("森 ”太郎”"));
  // ASCII text stays readable; its quotes still become the full-width ones.
  EXPECT_EQ(text::mail_header_decode(encode_header_text("plain \"ascii\"")).value_or(""),
            sjis("plain ”ascii”"));
}

// A script's subject or sender name with a line break must not add headers of its own.
TEST(MailMessage, LineBreaksInHeaderTextsAddNoHeaders) {
  OutgoingMail mail = sample();
  mail.subject = "Hello\r\nBcc: other@example.test";
  mail.sender_name = sjis("森\nX-Extra: 1");
  std::string message = compose_mail(mail);
  std::string headers = message.substr(0, message.find("\r\n\r\n"));
  EXPECT_EQ(headers.find("\r\nBcc:"), std::string::npos) << headers;
  EXPECT_EQ(headers.find("\r\nX-Extra:"), std::string::npos) << headers;
  EXPECT_NE(headers.find("Subject: Hello  Bcc: other@example.test\r\n"), std::string::npos)
      << headers;
}

TEST(MailMessage, LongSubjectIsFoldedIntoWholeWords) {
  std::string subject;
  for (int i = 0; i < 30; ++i) subject += sjis("長");
  std::string encoded = encode_header_text(subject);
  EXPECT_NE(encoded.find("\r\n "), std::string::npos);
  for (std::size_t at = 0; (at = encoded.find("=?ISO-2022-JP?B?", at)) != std::string::npos; ++at)
    EXPECT_LE(encoded.find("?=", at + 16) - at, 75u);
}

TEST(MailMessage, ComposedMessageReadsBack) {
  OutgoingMail mail = sample();
  mail.attachments = {{sjis("表.bin"), std::string("\0\x01\xff", 3)}, {"b.txt", "b"}};
  mail.cc = {"c@example.test"};
  mail.bcc = {"hidden@example.test"};
  std::string raw = compose_mail(mail);
  EXPECT_EQ(raw.find("hidden"), std::string::npos);
  EXPECT_NE(raw.find("Content-Transfer-Encoding: 7bit"), std::string::npos);
  IncomingMail back = parse_mail(raw);
  EXPECT_EQ(back.subject, sjis("件名"));
  EXPECT_EQ(back.reply_to, "me@example.test");
  EXPECT_EQ(back.date, "2026/12/08 09:05:07");
  EXPECT_EQ(back.text, sjis("本文\r\n二行目"));
  ASSERT_EQ(back.attachments.size(), 2u);
  EXPECT_EQ(back.attachments[0].name, sjis("表.bin"));
  EXPECT_EQ(back.attachments[0].bytes, std::string("\0\x01\xff", 3));
  EXPECT_EQ(back.attachments[1].bytes, "b");
}

TEST(MailMessage, MalformedMessagesDoNotThrow) {
  for (const char* raw :
       {"", "no header end", "Content-Type: multipart/mixed\r\n\r\n--x\r\n",
        "Content-Type: multipart/mixed; boundary=x\r\n\r\n--x\r\nbroken",
        "Content-Transfer-Encoding: base64\r\nContent-Type: text/plain\r\n\r\n!!"}) {
    EXPECT_NO_THROW(parse_mail(raw)) << raw;
  }
}

TEST(MailMessage, AttachmentNamesInTheExtendedForm) {
  std::string raw =
      "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n"
      "Content-Disposition: attachment; filename*=utf-8''%E5%86%99%E7%9C%9F.bin\r\n"
      "Content-Transfer-Encoding: base64\r\n\r\nYWI=\r\n--b--\r\n";
  IncomingMail mail = parse_mail(raw);
  ASSERT_EQ(mail.attachments.size(), 1u);
  EXPECT_EQ(mail.attachments[0].name, sjis("写真.bin"));
  EXPECT_EQ(mail.attachments[0].bytes, "ab");
}

TEST(MailMessage, SummaryLines) {
  IncomingMail mail;
  mail.from = "s@x";
  mail.to = "me@x";
  mail.date = "2026/12/08 09:05:07";
  mail.subject = sjis("件");
  mail.attachments = {{"a.bin", ""}};
  mail.text = "t";
  EXPECT_EQ(mail_summary(mail), sjis("送信者:s@x\r\n受信者:me@x\r\n日時:2026/12/08 09:05:07\r\n"
                                     "件名:件\r\n添付ファイル:a.bin\r\n本文:\r\n\r\nt"));
  mail.reply_to = "r@x";
  EXPECT_EQ(mail_summary(mail).rfind(sjis("返信先:r@x\r\n"), 0), 0u);
}

TEST(MailMessage, DatesThatCannotBeReadStayAsTheyAre) {
  EXPECT_EQ(format_mail_date("8 Dec 26 9:05:07 +0000"), "2026/12/08 09:05:07");
  EXPECT_EQ(format_mail_date("yesterday"), "yesterday");
}

TEST(TcpClientMatching, AddressExactlyHostNameIgnoringCase) {
  EXPECT_TRUE(client_matches("127.0.0.1,HOST", "127.0.0.1"));
  EXPECT_TRUE(client_matches("127.0.0.1,HOST", "host"));
  EXPECT_TRUE(client_matches(" 10.0.0.1 , Host ", "10.0.0.1"));
  EXPECT_FALSE(client_matches("127.0.0.1,HOST", "127.0.0"));
  EXPECT_FALSE(client_matches("127.0.0.1,HOST", "ho"));
}

}  // namespace
}  // namespace morivel::net
