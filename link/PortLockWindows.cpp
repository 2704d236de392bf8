// Windows keeps a COM port to the one program that opened it, so a held port needs no mark of
// its own there: this stands in for the lock files and advisory locks of PortLock.cpp.
