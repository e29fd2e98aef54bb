; A small PIC16F84A program: counts on port B, with a table at 0x100.
; portb_count.hex is gpasm's output for it: gpasm -o portb_count.hex portb_count.asm
        list p=16f84a
        __config 0x3FF2
        org 0
start:  bsf 3,5
        movlw 0x00
        movwf 6
        bcf 3,5
loop:   incf 6,f
        goto loop
        org 0x100
        retlw 0x42
        retlw 0x43
        end
