// Zorvane's page window is a see-through sheet laid over the program the typist
// works in. On X11 the window manager honours the window's own requests for that;
// on GNOME on Wayland only the shell can grant them: this keeps the page window
// above every window and on every workspace, never lets it take the focus, and
// lets the pointer through it to the window below. Zorvane's other windows (its
// panel, help and message boxes) are kept above the page window. No other window
// is touched, and disabling undoes every change.

const PAGE_CLASS = 'Zorvane';
const PAGE_TITLE = 'Form2';

var PageWindowKeeper = class PageWindowKeeper {
    enable() {
        this._pages = new Map(); // page window -> the states it had before
        this._lifted = new Set(); // Zorvane windows made "above" here
        this._watched = new Map(); // Zorvane window -> its signal ids
        this._lastFocus = null;
        this._displaySignals = [
            global.display.connect('window-created', (_display, window) => this._watch(window)),
            global.display.connect('restacked', () => this._restack()),
            global.display.connect('notify::focus-window', () => this._focusChanged()),
        ];
        for (const actor of global.get_window_actors())
            this._watch(actor.meta_window);
        const focus = global.display.focus_window;
        this._lastFocus = this._isPage(focus) ? null : focus;
        this._restack();
    }

    disable() {
        for (const id of this._displaySignals)
            global.display.disconnect(id);
        this._displaySignals = [];
        for (const window of [...this._watched.keys()])
            this._forget(window, true);
        this._lastFocus = null;
    }

    _isPage(window) {
        return window !== null && this._pages.has(window);
    }

    _watch(window) {
        if (!window || this._watched.has(window) || window.get_wm_class() !== PAGE_CLASS)
            return;
        const ids = [
            window.connect('notify::title', () => this._classify(window)),
            window.connect('unmanaged', () => this._forget(window, false)),
        ];
        this._watched.set(window, ids);
        this._classify(window);
    }

    _forget(window, undo) {
        for (const id of this._watched.get(window) ?? [])
            window.disconnect(id);
        this._watched.delete(window);
        if (undo) {
            this._release(window);
            if (this._lifted.has(window))
                window.unmake_above();
        }
        this._pages.delete(window);
        this._lifted.delete(window);
        if (this._lastFocus === window)
            this._lastFocus = null;
    }

    // A Zorvane window is the page window by its title; the title is set before the
    // window is shown, but follow it anyway.
    _classify(window) {
        const isPage = window.get_title() === PAGE_TITLE;
        if (isPage && !this._pages.has(window))
            this._take(window);
        else if (!isPage && this._pages.has(window))
            this._release(window);
        this._restack();
    }

    _take(window) {
        const before = {
            above: window.is_above(),
            sticky: window.is_on_all_workspaces(),
            actor: null,
            frameId: 0,
            unreactive: new Set(),
        };
        this._pages.set(window, before);
        this._lifted.delete(window);
        if (!before.above)
            window.make_above();
        if (!before.sticky)
            window.stick();
        const actor = window.get_compositor_private();
        if (actor) {
            before.actor = actor;
            // The surface inside the window's actor may come after the window does.
            before.frameId = actor.connect('first-frame',
                () => this._passPointer(window, before.unreactive, true));
        }
        this._passPointer(window, before.unreactive, true);
        if (global.display.focus_window === window)
            this._giveFocusBack();
    }

    _release(window) {
        const before = this._pages.get(window);
        if (!before)
            return;
        this._pages.delete(window);
        if (before.actor && before.frameId)
            before.actor.disconnect(before.frameId);
        this._passPointer(window, before.unreactive, false);
        if (!before.above && window.is_above())
            window.unmake_above();
        if (!before.sticky && window.is_on_all_workspaces())
            window.unstick();
    }

    // The shell finds what is under the pointer by asking the actors that react to
    // it: an actor that does not react lets the pointer reach the window below. The
    // actors made so are remembered in `unreactive`, to be given their reactivity back.
    _passPointer(window, unreactive, pass) {
        const actor = window.get_compositor_private();
        if (!actor)
            return;
        let changed = false;
        const visit = a => {
            if (pass && a.reactive) {
                unreactive.add(a);
                a.reactive = false;
                changed = true;
            } else if (!pass && unreactive.delete(a)) {
                a.reactive = true;
                changed = true;
            }
            for (const child of a.get_children())
                visit(child);
        };
        visit(actor);
        // What is under the pointer is found anew only after a redraw.
        if (changed)
            actor.queue_redraw();
    }

    // Zorvane's own windows belong above the page: raise any that fell below it.
    _restack() {
        if (this._pages.size === 0 || this._restacking)
            return;
        this._restacking = true;
        try {
            const pages = [...this._pages.keys()];
            for (const [page, before] of this._pages)
                this._passPointer(page, before.unreactive, true);
            const others = [...this._watched.keys()]
                .filter(w => !this._pages.has(w) && w.showing_on_its_workspace());
            const order = global.display.sort_windows_by_stacking([...pages, ...others]);
            const topPage = Math.max(...pages.map(p => order.indexOf(p)));
            for (const window of order.slice(0, topPage).filter(w => others.includes(w))) {
                // A box of the panel's can sit in the normal layer, below every "above" window.
                if (!window.is_above()) {
                    window.make_above();
                    this._lifted.add(window);
                }
                window.raise();
            }
        } finally {
            this._restacking = false;
        }
    }

    _focusChanged() {
        const focus = global.display.focus_window;
        if (this._isPage(focus))
            this._giveFocusBack();
        else if (focus)
            this._lastFocus = focus;
    }

    _giveFocusBack() {
        const time = global.get_current_time();
        // The window focused before may be gone since.
        const shown = global.get_window_actors().some(a => a.meta_window === this._lastFocus);
        if (this._lastFocus && shown && !this._lastFocus.is_hidden())
            this._lastFocus.focus(time);
        else
            global.display.unset_input_focus?.(time);
    }
};
