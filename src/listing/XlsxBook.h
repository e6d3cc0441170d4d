#pragma once

#include <filesystem>
#include <memory>
#include <vector>

#include "listing/SpreadsheetBook.h"

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

namespace kelvara {

// An XLSX workbook through libxlsxwriter, in its constant-memory mode: every row goes to a
// temporary file as soon as a later row starts, so the sheet never sits in memory.
class XlsxBook final : public SpreadsheetBook {
  public:
    // Writes `file`; messages name `shownAs` (the final name of a file written under a temporary
    // one).
    XlsxBook(const std::filesystem::path& file, const std::filesystem::path& shownAs);
    ~XlsxBook() override;

    void setDefaultFont(const std::string& name, double size) override;
    FormatId addFormat(const SpreadsheetFormat& format) override;
    void addSheet(const std::string& name) override;
    void setColumnWidth(std::uint16_t column, double characters) override;
    void writeString(std::uint32_t row, std::uint16_t column, std::string_view utf8,
                     FormatId format) override;
    void writeNumber(std::uint32_t row, std::uint16_t column, double value,
                     FormatId format) override;
    std::uint32_t maxRows() const override;
    Status save() override;

  private:
    struct WorkbookFree {
        void operator()(lxw_workbook* workbook) const;
    };
    void noteError(int code);

    std::filesystem::path file_;
    std::filesystem::path shownAs_;
    std::unique_ptr<lxw_workbook, WorkbookFree> workbook_;
    lxw_worksheet* sheet_ = nullptr;    // owned by the workbook
    std::vector<lxw_format*> formats_;  // owned by the workbook
    double fontSize_ = 11;
    int firstError_ = 0;
};

}  // namespace kelvara
