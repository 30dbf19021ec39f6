/* The floor of a CGI request: a process that writes a fixed small page. */
#include <stdio.h>

int main(void) {
  fputs("Status: 200 OK\r\nContent-Type: text/html\r\nContent-Length: 13\r\n\r\n<html></html>", stdout);
  return 0;
}
