#pragma once
// The libxlsxwriter functions the workbook writer calls. On Linux, QuaZip exports
// its own incompatible copy of minizip's zip functions, which would take over
// libxlsxwriter's calls in one process; so there libxlsxwriter is loaded with its
// own symbol scope first. Elsewhere the functions are linked directly.
#include <xlsxwriter.h>

struct TXlsxWriterLib {
    decltype(&::workbook_new_opt) workbook_new_opt;
    decltype(&::workbook_set_properties) workbook_set_properties;
    decltype(&::workbook_add_worksheet) workbook_add_worksheet;
    decltype(&::workbook_add_format) workbook_add_format;
    decltype(&::workbook_close) workbook_close;
    decltype(&::format_set_bold) format_set_bold;
    decltype(&::format_set_border) format_set_border;
    decltype(&::format_set_num_format) format_set_num_format;
    decltype(&::worksheet_set_landscape) worksheet_set_landscape;
    decltype(&::worksheet_set_portrait) worksheet_set_portrait;
    decltype(&::worksheet_set_column) worksheet_set_column;
    decltype(&::worksheet_set_row) worksheet_set_row;
    decltype(&::worksheet_write_blank) worksheet_write_blank;
    decltype(&::worksheet_write_number) worksheet_write_number;
    decltype(&::worksheet_write_boolean) worksheet_write_boolean;
    decltype(&::worksheet_write_string) worksheet_write_string;
    decltype(&::lxw_strerror) lxw_strerror;
};

// The functions; throws EOfficeError when the library cannot be loaded.
const TXlsxWriterLib& XlsxWriterLib();
