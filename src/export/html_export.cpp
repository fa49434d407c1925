#include "export/html_export.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "platform/exceptions.h"

namespace exporter {
namespace {

constexpr size_t kBufferSize = 1 << 20;
constexpr int64_t kProgressEvery = 4096;

// The characters written as entities.
constexpr std::array<bool, 256> kSpecial = [] {
  std::array<bool, 256> special{};
  for (const unsigned char c : {'&', '<', '>', '"'}) special[c] = true;
  return special;
}();

// The page file: large buffered writes, CRLF line ends, closed by the destructor. A failure
// to create or write throws and leaves the file closed. Record sources append their texts
// straight into its buffer (Buffer()), which is written out between rows (Drain()).
class TPageFile {
 public:
  explicit TPageFile(const std::string& path) : path_(path) {
    do {
      fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0)
      throw platform::Exception(
          fmt::format("Cannot create file \"{}\". {}", path, std::strerror(errno)));
    buffer_.reserve(kBufferSize + kBufferSize / 4);
  }
  ~TPageFile() {
    if (fd_ >= 0) ::close(fd_);
  }

  std::string& Buffer() { return buffer_; }
  void Append(std::string_view text) { buffer_.append(text); }
  void AppendEscaped(std::string_view text) {
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      if (!kSpecial[static_cast<unsigned char>(text[i])]) continue;
      buffer_.append(text.substr(start, i - start));
      buffer_.append(Entity(text[i]));
      start = i + 1;
    }
    buffer_.append(text.substr(start));
  }
  // Escapes what was appended to the buffer since `from`.
  void EscapeTail(size_t from) {
    size_t i = from;
    while (i < buffer_.size() && !kSpecial[static_cast<unsigned char>(buffer_[i])]) ++i;
    if (i == buffer_.size()) return;
    scratch_.assign(buffer_, from, std::string::npos);
    buffer_.resize(from);
    AppendEscaped(scratch_);
  }
  void Line(std::string_view text) {
    buffer_.append(text);
    buffer_.append("\r\n");
  }
  // Writes the buffer out once it has grown large.
  void Drain() {
    if (buffer_.size() >= kBufferSize) WriteBuffer();
  }
  void Close() {
    WriteBuffer();
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) Fail(errno);
  }

 private:
  static const char* Entity(char c) {
    switch (c) {
      case '&':
        return "&amp;";
      case '<':
        return "&lt;";
      case '>':
        return "&gt;";
      default:
        return "&quot;";
    }
  }
  void WriteBuffer() {
    size_t done = 0;
    while (done < buffer_.size()) {
      const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else {
        Fail(n < 0 ? errno : ENOSPC);
      }
    }
    buffer_.clear();
  }
  [[noreturn]] void Fail(int error) {
    throw platform::Exception(
        fmt::format("Error while writing \"{}\". {}", path_, std::strerror(error)));
  }

  std::string path_;
  int fd_ = -1;
  std::string buffer_;
  std::string scratch_;
};

std::string Truncated(double value) {
  if (!std::isfinite(value)) return "0";
  return fmt::format("{}", static_cast<int64_t>(std::trunc(value)));
}

void WriteHead(TPageFile& page, const TExportSettings& settings) {
  page.Line("<html>");
  page.Line("<head>");
  page.Line("<meta charset=\"utf-8\">");
  page.Append("<title>");
  page.AppendEscaped(settings.Title);
  page.Line("</title>");
  page.Line("<style type=\"text/css\">");
  page.Line("<!--");
  page.Line(
      "a, p,h1,h2,h3,h4,ul,ol,li,div,td,th,address,blockquote,nobr,b,i    "
      "{ font-family:Arial,sans-serif; }");
  page.Line("table.test td {");
  page.Line(" border: " + Truncated(settings.BorderWidth) + "px solid " + settings.BorderColor +
            ";");
  page.Line(" padding: " + Truncated(settings.CellPadding) + "px;");
  page.Line(" background-color: " + settings.CellColor + ";");
  page.Line(" vertical-align:top;");
  page.Line("}");
  page.Line("-->");
  page.Line("</style>");
  page.Line("</head>");
  page.Line("<body>");
  page.Append("<h1>");
  page.AppendEscaped(settings.Title);
  page.Line("</h1>");
  page.Line("<table class=\"test\" style=\"border-collapse: collapse\">");
}

// The markup before each cell: the end of the previous cell (or the row's start) and the
// cell's opening tag, so that each cell costs one append besides its text.
struct TCellPlan {
  std::string before;
  bool plain;
};

void WriteRows(TPageFile& page, TRecordSource& source, const TExportProgress& progress) {
  const int fieldCount = source.FieldCount();
  std::vector<TCellPlan> cells;
  for (int i = 0; i < fieldCount; ++i) {
    std::string before = i == 0 ? "<tr>\r\n" : "</td>\r\n";
    before += source.IsRightAligned(i) ? "<td align=right>" : "<td>";
    cells.push_back({std::move(before), source.IsPlainText(i)});
  }
  const char* rowEnd = fieldCount == 0 ? "<tr>\r\n</tr>\r\n" : "</td>\r\n</tr>\r\n";
  const int64_t total = progress ? source.RecordTotal() : -1;

  int64_t done = 0;
  std::string& out = page.Buffer();
  for (source.GoFirst(); !source.IsAtEnd(); source.GoNext()) {
    for (int i = 0; i < fieldCount; ++i) {
      const TCellPlan& cell = cells[static_cast<size_t>(i)];
      out.append(cell.before);
      const size_t start = out.size();
      source.FieldText(i, out);
      if (!cell.plain) page.EscapeTail(start);
    }
    out.append(rowEnd);
    page.Drain();
    if (progress && ++done % kProgressEvery == 0) progress(done, total);
  }
  if (progress) progress(done, total);
}

}  // namespace

void ExportHtml(TRecordSource& source, const TExportSettings& settings, const std::string& path,
                const TExportProgress& progress) {
  TPageFile page(path);
  WriteHead(page, settings);
  WriteRows(page, source, progress);
  page.Line("</table>");
  page.Line("</body>");
  page.Line("</html>");
  page.Close();
}

std::string HtmlColorOf(uint32_t colorRef) {
  return fmt::format("#{:02X}{:02X}{:02X}", colorRef & 0xFF, (colorRef >> 8) & 0xFF,
                     (colorRef >> 16) & 0xFF);
}

bool ParseHtmlColor(const std::string& text, std::string& normalized) {
  if (text.size() != 7 || text[0] != '#') return false;
  std::string result = "#";
  for (size_t i = 1; i < 7; ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      result += c;
    } else if ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')) {
      result += static_cast<char>(c & ~0x20);
    } else {
      return false;
    }
  }
  normalized = result;
  return true;
}

}  // namespace exporter
