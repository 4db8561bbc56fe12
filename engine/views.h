// The system data areas that ports read (the views of the symbol table),
// backed by the program's own variables: the switch words, times, page
// number, statistics, status and message lines, the user buffers. A view
// whose variable the program does not keep reads zeros of its length;
// later modules (serial driver, keys, video) register their own areas.
#pragma once

#include <cstdint>

constexpr int USER_BUFFERS = 32;
constexpr int USER_BUFFER_BYTES = 16;

// The start of a view's area now (never null for views 0..69 other than
// the packet views before the packet buffers exist).
const uint8_t* views_base(int view);

// A module's own area for a view; null takes it back (zeros again). The
// area must hold the view's length. 0, or -1 for a view the evaluation
// keeps itself or one outside 0..69.
int views_set_area(int view, const uint8_t* base);

// The user buffers cpli_buffer1..32, allocated zeroed from the pool at
// start-up. 0, or -1 when memory runs out.
int views_alloc();
void views_free();
// User buffer n (0..31), or null before views_alloc.
uint8_t* views_user_buffer(int n);

// Packets accepted by the packet filter (the `vtelfr_cnt` view).
void views_count_accepted();

void views_reset();
