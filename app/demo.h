// The show's start-up sequence and frame loop.
#pragma once

// Builds everything, then runs the frame loop. Ends the process itself at the
// end of the show, or leaves by an exception; the arguments are not read.
void runDemo(int wordCount, char* words);
