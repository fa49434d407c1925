#include "export/html_export.h"

#include <fcntl.h>
#include <unistd.h>

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

// The page file: large buffered writes, CRLF line ends, closed by the destructor. A failure
// to create or write throws and leaves the file closed.
class TPageFile {
 public:
  explicit TPageFile(const std::string& path) : path_(path) {
    do {
      fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0)
      throw platform::Exception(
          fmt::format("Cannot create file \"{}\". {}", path, std::strerror(errno)));
    buffer_.reserve(kBufferSize + 4096);
  }
  ~TPageFile() {
    if (fd_ >= 0) ::close(fd_);
  }

  void Append(std::string_view text) {
    buffer_.append(text);
    if (buffer_.size() >= kBufferSize) Drain();
  }
  // Appends text with &, <, > and " replaced by their entities.
  void AppendEscaped(std::string_view text) {
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      const char* entity = nullptr;
      switch (text[i]) {
        case '&': entity = "&amp;"; break;
        case '<': entity = "&lt;"; break;
        case '>': entity = "&gt;"; break;
        case '"': entity = "&quot;"; break;
        default: continue;
      }
      buffer_.append(text.substr(start, i - start));
      buffer_.append(entity);
      start = i + 1;
    }
    buffer_.append(text.substr(start));
    if (buffer_.size() >= kBufferSize) Drain();
  }
  void Line(std::string_view text) {
    Append(text);
    Append("\r\n");
  }
  void Close() {
    Drain();
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) Fail(errno);
  }

 private:
  void Drain() {
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

void WriteRows(TPageFile& page, TRecordSource& source, const TExportProgress& progress) {
  const int fieldCount = source.FieldCount();
  std::vector<bool> rightAligned(static_cast<size_t>(fieldCount));
  for (int i = 0; i < fieldCount; ++i) rightAligned[static_cast<size_t>(i)] = source.IsRightAligned(i);
  const int64_t total = progress ? source.RecordTotal() : -1;

  std::string text;
  int64_t done = 0;
  for (source.GoFirst(); !source.IsAtEnd(); source.GoNext()) {
    page.Line("<tr>");
    for (int i = 0; i < fieldCount; ++i) {
      source.FieldText(i, text);
      page.Append(rightAligned[static_cast<size_t>(i)] ? "<td align=right>" : "<td>");
      page.AppendEscaped(text);
      page.Line("</td>");
    }
    page.Line("</tr>");
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
