/* The demo's sample workbook: a sheet of monthly sales, written with libxlsxwriter (an
 * independent writer), so that the demo reads through its data source a file it did not
 * make with the driver's own code.
 *   tabrix-sample-workbook PATH.xlsx */
#include <stdio.h>
#include <xlsxwriter.h>

struct Sale {
  const char* region;
  int year, month;
  double units, price;
  int paid;
  const char* note;
};

static const struct Sale kSales[] = {
    {"North", 2026, 1, 120, 9.5, 1, "Oslo"},
    {"South", 2026, 1, 80, 11.25, 0, "Zürich"},
    {"North", 2026, 2, 135, 9.5, 1, "Bergen"},
    {"East", 2026, 2, 42, 14.0, 1, "Kraków"},
    {"South", 2026, 3, 97, 11.25, 1, "Genève"},
    {"East", 2026, 3, 51, 14.0, 0, "Łódź"},
};

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s PATH.xlsx\n", argv[0]);
    return 2;
  }
  lxw_workbook* workbook = workbook_new(argv[1]);
  if (!workbook) {
    fprintf(stderr, "tabrix-sample-workbook: cannot create %s\n", argv[1]);
    return 1;
  }
  lxw_worksheet* sheet = workbook_add_worksheet(workbook, "Sales");
  lxw_format* date = workbook_add_format(workbook);
  format_set_num_format(date, "yyyy-mm-dd");
  const char* header[] = {"Region", "Month", "Units", "Price", "Paid", "City"};
  for (lxw_col_t c = 0; c < 6; ++c) worksheet_write_string(sheet, 0, c, header[c], NULL);
  for (lxw_row_t r = 0; r < sizeof kSales / sizeof kSales[0]; ++r) {
    const struct Sale* s = &kSales[r];
    lxw_datetime month = {s->year, s->month, 1, 0, 0, 0};
    worksheet_write_string(sheet, r + 1, 0, s->region, NULL);
    worksheet_write_datetime(sheet, r + 1, 1, &month, date);
    worksheet_write_number(sheet, r + 1, 2, s->units, NULL);
    worksheet_write_number(sheet, r + 1, 3, s->price, NULL);
    worksheet_write_boolean(sheet, r + 1, 4, s->paid, NULL);
    worksheet_write_string(sheet, r + 1, 5, s->note, NULL);
  }
  lxw_error error = workbook_close(workbook);
  if (error != LXW_NO_ERROR) {
    fprintf(stderr, "tabrix-sample-workbook: cannot write %s: %s\n", argv[1], lxw_strerror(error));
    return 1;
  }
  return 0;
}
