; Drives two servo outputs from a timer interrupt; code at the start and the
; end of program memory, the watchdog on and an HS oscillator.
        list    p=16f84a
        #include <p16f84a.inc>
        __CONFIG _CP_OFF & _WDT_ON & _PWRTE_OFF & _HS_OSC

        cblock  0x0C
        pulse
        count
        endc

        org     0x000
        goto    main
        org     0x004
isr     bcf     INTCON, T0IF
        incf    count, f
        movf    count, w
        subwf   pulse, w
        btfsc   STATUS, C
        bsf     PORTA, 0
        btfss   STATUS, C
        bcf     PORTA, 0
        retfie

main    bsf     STATUS, RP0
        movlw   b'00000000'
        movwf   TRISA ^ 0x80
        movlw   b'10000001'
        movwf   OPTION_REG ^ 0x80
        bcf     STATUS, RP0
        movlw   d'150'
        movwf   pulse
        bsf     INTCON, T0IE
        bsf     INTCON, GIE
idle    clrwdt
        goto    idle

        org     0x3F0
steps   addwf   PCL, f
        dt      d'100', d'125', d'150', d'175', d'200', d'225', d'250'
        de      "not in program memory"
        end
