#pragma once
// The addresses of the approval web service, outside the program, that the program's
// own mails link to and whose replies the filter recognises.
//
// A registration request links the approval page (the service address, "/r.asp" and
// the query key "d") and shows the button picture under "/files/regbtn.gif" of the
// product's web server; the page mails the sender's confirmation back from the
// service's sender address. The values sit under a domain reserved for examples
// (RFC 2606) until the service has its own; the paths are fixed.

#include <string_view>

namespace ServiceAddresses {

// The mailbox the approval page sends its registration replies from.
inline constexpr std::string_view ServiceSenderAddress = "register@glimmerpost.example";

// The approval web service, without a trailing "/".
inline constexpr std::string_view ApprovalServiceAddress = "http://www.glimmerpost.example";
inline constexpr std::string_view ApprovalPagePath = "/r.asp?d=";

// The product's web server and the button picture on it.
inline constexpr std::string_view ProductWebServer = "http://www.glimmerpost.example";
inline constexpr std::string_view ButtonImagePath = "/files/regbtn.gif";

}  // namespace ServiceAddresses
