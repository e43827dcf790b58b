#include "zip/ziptypes.h"

#include <utility>

namespace zip {

ReportProc report_proc = nullptr;
OverwriteQuery overwrite_query = nullptr;
ZipReport zip_report = {};

ReportProc set_report_proc(ReportProc proc) { return std::exchange(report_proc, proc); }

OverwriteQuery set_overwrite_query(OverwriteQuery query) { return std::exchange(overwrite_query, query); }

}  // namespace zip
