// The page compiler: page text PAGEnnnn.TXT to page file PAGEnnnn.BIN with
// a listing PAGEnnnn.LST. compile_page is what korlw's Compile command
// runs; compile_text is the part qorvends shares, on files it opened.
#pragma once

// Results of compiling one page.
enum : int {
    COMPILE_OK = 0,            // no errors (warnings allowed)
    COMPILE_NO_TEXT = -2,      // the page text cannot be opened
    COMPILE_NO_PAGE = -3,      // the page file cannot be created
    COMPILE_NO_LISTING = -4,   // the listing cannot be created (the new page file is deleted)
    COMPILE_ERRORS = -5,       // errors were found (the new page file is deleted)
};

// Compiles page (0..9999) from txt_path into bin_path with its listing in
// lst_path, showing the opening and closing messages through the compiler
// hooks (compiler/report.h). The symbol table must be built. Returns a
// COMPILE_* result.
int compile_page_files(int page, const char* txt_path, const char* bin_path, const char* lst_path);

// The same for PAGEnnnn.TXT (found whatever the case of its name),
// PAGEnnnn.BIN and PAGEnnnn.LST in the current directory.
int compile_page(int page);

// Parses the page text open in txt_slot into the page file open in
// bin_slot. The listing is cmp.listing. Returns COMPILE_OK or
// COMPILE_ERRORS (this page had an error). Files stay open.
int compile_text(int page, int txt_slot, int bin_slot);

// Switches batch mode (qorvends): counts and numbering run over all pages,
// no source echo, page numbers in listing lines.
void compiler_batch(bool on);

// Back to the start state: every compiler module.
void compiler_reset();
