// The main function's integer result is the exit status.
// expect-exit: 44
print("returning 300\n");
return 300;
