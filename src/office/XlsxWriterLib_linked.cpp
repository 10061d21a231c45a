#include "XlsxWriterLib.h"

const TXlsxWriterLib& XlsxWriterLib() {
    static const TXlsxWriterLib lib{&workbook_new_opt,
                                    &workbook_set_properties,
                                    &workbook_add_worksheet,
                                    &workbook_add_format,
                                    &workbook_close,
                                    &format_set_bold,
                                    &format_set_border,
                                    &format_set_num_format,
                                    &worksheet_set_landscape,
                                    &worksheet_set_portrait,
                                    &worksheet_set_column,
                                    &worksheet_set_row,
                                    &worksheet_write_blank,
                                    &worksheet_write_number,
                                    &worksheet_write_boolean,
                                    &worksheet_write_string,
                                    &lxw_strerror};
    return lib;
}
