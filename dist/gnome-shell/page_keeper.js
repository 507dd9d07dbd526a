// What the extension does, shared by its two forms (GNOME 43-44 and 45+).
// Zorvane's page window lies over the typist's program: it must stay above the
// other windows on every workspace, never take the focus, and let the pointer
// through to the window below, which on Wayland only the shell can grant an
// Xwayland window. Zorvane's panel and its boxes stay above the page.

const ZorvaneClass = 'Zorvane';
const PageTitle = 'Form2';

function isZorvane(win) {
    return win && win.get_wm_class() === ZorvaneClass;
}

function isPage(win) {
    return isZorvane(win) && win.get_title() === PageTitle;
}

// Clutter calls it "actor-added" up to GNOME 45, "child-added" after.
function connectChildAdded(actor, handler) {
    try {
        return actor.connect('child-added', (_actor, child) => handler(child));
    } catch (e) {
        return actor.connect('actor-added', (_actor, child) => handler(child));
    }
}

// The window actor and the surface actors inside it: none may be picked by the pointer.
// mutter makes a surface actor reactive again when it changes it, and adds new ones:
// both are undone as they come, until the extension lets go (`keep` false).
function setReactive(actor, reactive, keep) {
    actor.reactive = reactive;
    if (keep && !actor._zorvaneHeld) {
        actor._zorvaneHeld = [
            actor.connect('notify::reactive', () => {
                if (actor.reactive)
                    actor.reactive = false;
            }),
            connectChildAdded(actor, child => setReactive(child, false, true)),
        ];
    } else if (!keep && actor._zorvaneHeld) {
        actor._zorvaneHeld.forEach(id => actor.disconnect(id));
        delete actor._zorvaneHeld;
    }
    for (const child of actor.get_children())
        setReactive(child, reactive, keep);
}

class PageKeeper {
    enable() {
        this._signals = [];
        this._windowSignals = new Map();
        this._lastFocus = null;
        const display = global.display;
        this._connect(display, 'window-created', (_display, win) => this._adopt(win));
        this._connect(display, 'restacked', () => this._keepPanelAbove());
        this._connect(display, 'notify::focus-window', () => this._keepFocus());
        for (const actor of global.get_window_actors())
            this._adopt(actor.meta_window);
    }

    disable() {
        for (const [object, id] of this._signals)
            object.disconnect(id);
        for (const [win, ids] of this._windowSignals) {
            ids.forEach(id => win.disconnect(id));
            const actor = win.get_compositor_private();
            // As mutter has them: the window actor not reactive, its surfaces reactive.
            if (actor && isPage(win)) {
                setReactive(actor, false, false);
                actor.get_children().forEach(child => setReactive(child, true, false));
            }
        }
        this._signals = [];
        this._windowSignals.clear();
        this._lastFocus = null;
    }

    _connect(object, signal, handler) {
        this._signals.push([object, object.connect(signal, handler)]);
    }

    _adopt(win) {
        if (!isZorvane(win) || this._windowSignals.has(win))
            return;
        // The title and the surface come after the window itself: apply at each show.
        const apply = () => this._apply(win);
        this._windowSignals.set(win, [
            win.connect('shown', apply),
            win.connect('notify::title', apply),
            win.connect('size-changed', apply),
            win.connect('unmanaged', () => this._windowSignals.delete(win)),
        ]);
        apply();
    }

    _apply(win) {
        if (!isPage(win))
            return;
        if (!win.is_above())
            win.make_above();
        if (!win.is_on_all_workspaces())
            win.stick();
        const actor = win.get_compositor_private();
        if (actor)
            setReactive(actor, false, true);
        this._keepPanelAbove();
    }

    // Zorvane raises the page and then the panel; keep it so whatever the shell does.
    _keepPanelAbove() {
        const windows = global.display.sort_windows_by_stacking(
            global.display.list_all_windows());
        const page = windows.findIndex(isPage);
        if (page < 0)
            return;
        windows.slice(0, page).filter(win => isZorvane(win) && win.showing_on_its_workspace())
            .forEach(win => {
                if (!win.is_above())
                    win.make_above();
                win.raise();
            });
    }

    _keepFocus() {
        const focus = global.display.focus_window;
        if (!isPage(focus)) {
            this._lastFocus = focus;
            return;
        }
        if (this._lastFocus && this._lastFocus.get_compositor_private())
            this._lastFocus.activate(global.get_current_time());
    }
}
