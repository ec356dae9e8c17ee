// suspend() in the main thread stops the script.
// expect-exit: 1
print("start\n");
suspend(1);
print("not reached\n");
