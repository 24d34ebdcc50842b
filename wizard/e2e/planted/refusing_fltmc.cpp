// Stands in for fltmc.exe where its caller is not elevated: Windows' own then fails with
// ERROR_ACCESS_DENIED, which the deployer's scripts take as "not elevated".
int wmain() {
  return 5;
}
