#pragma once
// One mail message as 8-bit text: the whole text, its header block, its body and the
// header fields the program reads (RFC 822 / RFC 5322 header lines).
//
// Header fields are unfolded before they are read: a line that begins with a blank
// or a tab continues the field above it (Received keeps its first line that holds a
// ";", each of its lines looked at alone).
//
// Filled from received text (CreateFromText), a stored message file (CreateFromFile)
// or only the head of one (LoadHeadersFromFile); SaveMessage writes it back. Field
// values are stored raw: display names, comments and encoded words stay in them.
//
// The body is kept as a view into MessageText unless it was set explicitly, so a
// 50 MB message is held once, not twice.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace MiscFuncs {
class SyncBatch;
}

class CMessage {
public:
    // A running text of save failures.
    std::string ErrorText;

    // The header block: the text before the first empty line, without the line break
    // that ends its last line.
    std::string Headers;

    std::string Encrypted, Comments, Keywords, References, InReplyTo, bcc, cc, Sender, replyTo,
        Subject, From, MessageTo, MessageID, SendDate, Received, ReturnPath;

    // The longest value a folded header field is unfolded to; the rest is dropped.
    static constexpr std::size_t kMaxUnfoldedBytes = 64 * 1024;

    // The longest header block read from a stored file that has no header end.
    static constexpr std::size_t kMaxHeaderFileBytes = 1 << 20;

    // Fills the object from the head of a stored message file: the lines up to and
    // including the first empty line, then a placeholder body line "msg".
    // Returns false (object unchanged) when the file cannot be read.
    bool LoadHeadersFromFile(const std::filesystem::path& path);
    // Fills the object from a whole stored message file.
    bool CreateFromFile(const std::filesystem::path& path);
    // Fills the object from message text; false (and a log line, fields unchanged)
    // when the text has no header end (CR LF CR LF).
    bool CreateFromText(std::string text);

    // Writes MessageText to path durably (temporary file, sync, rename). Returns
    // false and appends "Failed to save message to <path>" CR LF to ErrorText when
    // it fails. With a batch the syncs are left to the batch's Commit.
    bool SaveMessage(const std::filesystem::path& path, MiscFuncs::SyncBatch* batch = nullptr);

    // The Date header as a day number; 0 when it is blank or unreadable.
    double SendDateTime() const;
    // The date of the first Received line (after its ";"), else the Date header.
    double ReceivedDateTime() const;

    const std::string& MessageText() const { return text_; }
    void SetMessageText(std::string text) { text_ = std::move(text); }
    std::string MessageBody() const;
    void SetMessageBody(std::string body) { body_ = std::move(body); }

    // The length of MessageText in bytes.
    long Size() const { return static_cast<long>(text_.size()); }

private:
    void parseHeaderBlock();
    void storeField(const std::string& name, std::string_view value);

    std::string text_;
    std::optional<std::string> body_;  // set explicitly; else the text after bodyStart_
    std::size_t bodyStart_ = std::string::npos;
};
