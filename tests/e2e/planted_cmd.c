/* A command interpreter planted beside the program for the planting suite: when started, it
   leaves "<its own path>.loaded" behind and ends at once, running nothing. */
#include "planted_marker.h"

int main(void) {
    LeavePlantedMarker(NULL);
    return 0;
}
