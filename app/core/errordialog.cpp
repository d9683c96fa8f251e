#include "app/core/errors.h"

// No dialog manager is linked into this layer yet: the record goes to
// standard error so that a failure is never silent.
void showDialog() { writeRecordToStderr(); }
