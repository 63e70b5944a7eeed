# Seeds for fuzz_header_block: header blocks as the header query returns them.
set -euo pipefail
dir=$ROOT/fuzz_header_block
mkdir -p "$dir"
seed() {  # seed NAME BYTES (printf format)
  printf "$2" > "$dir/$1"
}
seed nginx 'HTTP/1.1 200 OK\r\nServer: nginx\r\nDate: Mon, 07 Oct 2024 08:00:00 GMT\r\nContent-Type: application/octet-stream\r\nContent-Length: 5000\r\nLast-Modified: Mon, 07 Oct 2024 08:00:00 GMT\r\nConnection: close\r\n\r\n\0'
seed mixed-case 'HTTP/1.1 200 OK\r\nCONTENT-LENGTH: 77\r\nlast-MODIFIED: Tue, 01 Oct 2024\r\n\r\n\0'
seed no-blank 'HTTP/1.1 200 OK\r\nContent-Length:5000\r\nLast-Modified:x\r\n\r\n\0'
seed old-missing 'HTTP/1.1 404 File Not Found\r\nContent-Length: 12\r\n\r\n\0'
seed gone 'HTTP/1.0 410 Gone\r\n\r\n\0'
seed no-reason 'HTTP/1.1 404\r\nContent-Length: 0\r\n\r\n\0'
seed huge-length 'HTTP/1.1 200 OK\r\nContent-Length: 3000000000\r\n\r\n\0'
seed text-length 'HTTP/1.1 200 OK\r\nContent-Length: abc\r\n\r\n\0'
seed unterminated 'HTTP/1.1 200 OK\r\nLast-Modified: Mon, 07 Oct'
