#pragma once
// Reading a comma-separated file of contacts: one record a line, fields split at ","
// with double quotes around fields that hold commas.
//
// A record is read from one line (a quoted field cannot span lines):
//   - "," outside quotes ends a field; a line ending in "," has no empty last field,
//     and an empty line gives no fields;
//   - a double quote opens a quoted part; inside it "" stands for one double quote
//     and a lone double quote closes it; blanks after the closing quote are skipped,
//     so `"Smith, Bob" , bob@x.com` is two fields; any other character after it
//     joins the field;
//   - a quoted field counts even when empty (`a,""` has two fields).
// The file may start with a UTF-8 byte-order mark; its lines may end in LF, CR LF or
// CR alone (old Mac files). Lines are capped at kMaxLineBytes: a longer line is cut
// there and the rest of it dropped, and the reader reports that line as cut. A line
// holding a NUL byte is reported as unreadable. A reported line's record is no
// record of the file: an import skips it.
//
// The e-mail column is guessed from the preview (the first kPreviewRows records that
// hold a field): the column with the most fields that hold an address (as the import
// reads them, AddressImport.h), the lowest index winning ties; -1 when none does.

#include <cstddef>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace CsvImport {

using Record = std::vector<std::string>;

inline constexpr std::size_t kMaxLineBytes = 64 * 1024;
inline constexpr std::size_t kPreviewRows = 10;

// The fields of one line (without its line end).
Record ReadRecord(std::string_view line);

// What was wrong with a line.
enum class LineFault { None, Cut, Unreadable };

// Reads the records of a file one after another; lines without fields are skipped,
// unless they are faulty.
class CsvFile {
public:
    // False when the path is not an existing regular file or cannot be opened.
    bool Open(const std::string& path);
    // False at the end of the file (or when it is not open); else fills the record.
    // A faulty line comes as a record of its own (perhaps without fields), with
    // LastFault() telling what is wrong with it.
    bool ReadRecord(Record& record);
    // The number of the line the last record came from, from 1.
    std::size_t LineNumber() const { return line_; }
    // The fault of the line the last record came from.
    LineFault LastFault() const { return fault_; }
    // A line read so far was over the cap or held a NUL byte.
    bool SawBadLine() const { return badLine_; }

private:
    bool readLine(std::string& line);

    std::ifstream in_;
    std::size_t line_ = 0;
    LineFault fault_ = LineFault::None;
    bool badLine_ = false;
};

// The number of lines of the file (LF, CR LF and a lone CR each end one; a last line
// without a line end counts); 0 when it cannot be read.
std::size_t CountLines(const std::string& path);

// Up to rowLimit records from the start of the file into preview; the number read.
// badLine is set when a preview line was over the cap or held a NUL byte.
std::size_t ReadPreview(const std::string& path, std::vector<Record>& preview, std::size_t rowLimit,
                        bool* badLine = nullptr);

// The column that holds the most valid addresses in the preview, the lowest index
// winning ties; -1 when none does.
int GuessEMailColumn(const std::vector<Record>& preview);

// The widest record of the preview.
std::size_t ColumnCount(const std::vector<Record>& preview);

// The field of a record, "" past its end.
std::string_view FieldOf(const Record& record, int column);

}  // namespace CsvImport
