// versioned: a file with version information (2.5.1.0, see versioned.rc) for
// the file searches to find. Does nothing when started.
int wmain() {
  return 0;
}
