// Prints what a second descriptor sees of a port that vemkard-cli holds:
// the modem lines (TIOCMGET) and the bytes waiting in the driver's output
// queue (TIOCOUTQ). Root passes the holder's TIOCEXCL.
#include <fcntl.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const int fd = open(argv[1], O_RDONLY | O_NOCTTY | O_NONBLOCK);
    int lines = 0, queued = 0;
    if (fd < 0 || ioctl(fd, TIOCMGET, &lines) != 0 || ioctl(fd, TIOCOUTQ, &queued) != 0) {
        perror(argv[1]);
        return 1;
    }
    printf("dtr=%d rts=%d outq=%d\n", !!(lines & TIOCM_DTR), !!(lines & TIOCM_RTS), queued);
    return 0;
}
