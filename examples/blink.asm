; blink.hex: a small ATmega8 program of our own, the sample image of the desktop program.
; It toggles PB0 (an LED through a resistor to ground) about twice a second at 1 MHz, the
; chip's factory clock. Assembled by hand; the words below are what blink.hex holds.
;
; addr  word   instruction
  0000  C000   rjmp  reset          ; reset vector
  0001  E004   reset: ldi r16, 0x04 ; stack at RAMEND (0x045F)
  0002  BF0E   out   SPH, r16
  0003  E50F   ldi   r16, 0x5F
  0004  BF0D   out   SPL, r16
  0005  9AB8   sbi   DDRB, 0        ; PB0 is an output
  0006  E011   ldi   r17, 0x01      ; the bit to toggle
  0007  B308   loop: in r16, PORTB
  0008  2701   eor   r16, r17
  0009  BB08   out   PORTB, r16
  000A  D001   rcall delay
  000B  CFFB   rjmp  loop
  000C  EF2F   delay: ldi r18, 0xFF ; 255 x 255 x 3 cycles, about 0.2 s
  000D  EF3F   d1: ldi r19, 0xFF
  000E  953A   d2: dec r19
  000F  F7F1   brne  d2
  0010  952A   dec   r18
  0011  F7D9   brne  d1
  0012  9508   ret
; 0x0026: "ZR7 sample: blink PB0", zero-terminated, so that the text column shows something.
;
; blink.eep: a four-byte serial number (00 00 00 01, the autoincrement counter of the
; project), the text "ZR7 blink board" and the bytes 00..1F.
