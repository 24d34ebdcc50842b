/* Baseline for mouseprobe: the same two libgpm calls and the same two lines of output, with
 * nothing else around them. */
#include <gpm.h>
#include <stdio.h>

int main(void) {
  int number = 0;
  const char* text = Gpm_GetLibVersion(&number);
  printf("lib: %s, %d\n", text ? text : "unknown", number);

  text = Gpm_GetServerVersion(&number);
  /* Without a text the server writes no number, and the library's must not pass for its own. */
  printf("srv: %s, %d\n", text ? text : "unknown", text ? number : 0);
  return 0;
}
