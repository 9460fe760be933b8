// BASE64, the ISO-2022-JP encoded words of mail headers, and cutting messages out of a mailbox.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace morivel::text {

// Standard alphabet with "=" fill, no line breaks.
std::string base64_encode(std::string_view bytes);

// CR, LF, blanks and "=" are skipped; any other byte outside the alphabet makes the text
// undecodable (nullopt). A final group of r characters gives r - 1 bytes.
std::optional<std::string> base64_decode(std::string_view text);

// Runs of double-byte characters become "=?ISO-2022-JP?B?...?=" words; single bytes (half-width
// katakana too) are copied. No folding.
std::string mail_header_encode(std::string_view sjis_text);

// Decodes the ISO-2022-JP B words (the marker in any case), converts the whole text to
// Shift-JIS after detecting its code, and cuts it at the first byte that is neither printable
// ASCII, TAB, CR, LF nor part of a double-byte character. nullopt when a word is not BASE64.
std::optional<std::string> mail_header_decode(std::string_view text);

// One message of a mailbox text: the lines up to and including the first line that is exactly
// ".", each ended by CR LF, and the text after that line.
struct MailboxCut {
  std::string message;
  std::string rest;
};
MailboxCut cut_mailbox_message(std::string_view mailbox);

}  // namespace morivel::text
