// Mail as text: composing the message メール送信 sends, and taking apart what メール受信 fetches.
// Shift-JIS in and out; the wire form is ISO-2022-JP.
#pragma once

#include <string>
#include <vector>

namespace morivel::net {

struct Attachment {
  std::string name;   // Shift-JIS file name
  std::string bytes;  // contents
};

struct OutgoingMail {
  std::string from;         // address, also the reply-to
  std::string sender_name;  // Shift-JIS, may be empty
  std::vector<std::string> to, cc, bcc;
  std::string subject;  // Shift-JIS
  std::string body;     // Shift-JIS
  std::vector<Attachment> attachments;
  std::string date;      // RFC 5322 date text
  std::string boundary;  // for multipart messages
};

// The lines of a list, trimmed, empty ones dropped.
std::vector<std::string> address_lines(const std::string& list);

// A header text as MIME words: double quotes become the full-width "”" first. Text with
// Japanese in it becomes whole encoded words, `separator` between them (a folding line break in
// a header, a blank inside a quoted parameter).
std::string encode_header_text(const std::string& sjis, const char* separator = "\r\n ");

// The message with CR LF line ends (the envelope takes the BCC addresses; no header shows them).
std::string compose_mail(const OutgoingMail& mail);

struct IncomingMail {
  std::string reply_to, from, to, date, subject;  // Shift-JIS
  std::string text;                               // the text parts, Shift-JIS
  std::vector<Attachment> attachments;
};

// Takes a received message apart; never throws on malformed input (what cannot be read is left
// out).
IncomingMail parse_mail(const std::string& raw);

// The date of a header as "yyyy/mm/dd hh:mm:ss"; the text itself when it cannot be read.
std::string format_mail_date(const std::string& header_date);

// The summary text file of a message, CR LF line ends.
std::string mail_summary(const IncomingMail& mail);

}  // namespace morivel::net
