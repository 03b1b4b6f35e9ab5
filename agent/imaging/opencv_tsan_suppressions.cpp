// ThreadSanitizer suppressions for programs that work on images through the
// distribution's OpenCV, whose libraries are not instrumented: its decoders
// bring in GDAL, which takes two of its own mutexes in both orders on one
// thread while probing a file, and its parallel loops run on TBB, whose
// hand-offs between threads ThreadSanitizer cannot see. Compiled into each such
// program; without ThreadSanitizer nobody calls it.
extern "C" const char* __tsan_default_suppressions();

extern "C" const char* __tsan_default_suppressions() {
    return "deadlock:libgdal.so\n"
           "race:libtbb.so\n";
}
